#pragma once
// Decimal numbers as people read them back: the shortest digits that give the same double,
// never in exponent form.

#include <cstddef>
#include <string>

namespace vireo {

// Enough room for any double in positional form (the smallest subnormal takes about 330
// characters).
inline constexpr std::size_t MAX_DECIMAL_CHARS = 400;

// Writes `value` at `out` (at least MAX_DECIMAL_CHARS free) and returns the end: shortest
// round-trip digits, no exponent, no decimal point for whole values ("-64", "-60.25", "1e21"
// becomes "1000000000000000000000").
char* write_shortest_decimal(char* out, double value);

// The same as a string.
std::string shortest_decimal(double value);

}  // namespace vireo
