#include "common/number_format.hpp"

#include <array>
#include <charconv>

namespace vireo {

char* write_shortest_decimal(char* out, double value) {
    return std::to_chars(out, out + MAX_DECIMAL_CHARS, value, std::chars_format::fixed).ptr;
}

std::string shortest_decimal(double value) {
    std::array<char, MAX_DECIMAL_CHARS> buffer{};
    char* const end = write_shortest_decimal(buffer.data(), value);
    return std::string(buffer.data(), end);
}

}  // namespace vireo
