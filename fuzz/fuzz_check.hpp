#pragma once
// What every fuzz target shares: a check that stops the run with its place when a property
// fails, so libFuzzer keeps the input as a crash.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <source_location>
#include <string_view>

namespace vireo::fuzz {

inline void check(bool holds, std::string_view what,
                  std::source_location where = std::source_location::current()) {
    if (holds) {
        return;
    }
    std::fprintf(stderr, "%s:%u: property failed: %.*s\n", where.file_name(),
                 static_cast<unsigned>(where.line()), static_cast<int>(what.size()), what.data());
    std::abort();
}

inline std::string_view as_text(const std::uint8_t* data, std::size_t size) {
    return {reinterpret_cast<const char*>(data), size};
}

}  // namespace vireo::fuzz
