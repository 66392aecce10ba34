#pragma once
// A guard in front of the TOML parser: the parser and every walk over its tree recurse once per
// level, so a key of tens of thousands of dotted parts would exhaust the stack. A document is
// measured first, without recursion, and refused when it nests too deep.

#include <cstddef>
#include <optional>
#include <string_view>

#include "config/config_error.hpp"

namespace vireo {

// Tables, arrays and dotted key parts a document may stack; real configurations use three.
inline constexpr std::size_t MAX_NESTING_DEPTH = 64;

// The error for the first key or array that goes deeper than MAX_NESTING_DEPTH, positioned at
// its start; none when the document stays within it. Text that is not TOML is measured as far
// as it can be and left to the parser to report.
std::optional<TomlError> check_nesting_depth(std::string_view text);

}  // namespace vireo
