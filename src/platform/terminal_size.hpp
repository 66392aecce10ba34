#pragma once
// The size of the terminal behind a descriptor, as the driver reports it.

#include <cstdint>
#include <expected>

#include "common/io_error.hpp"

namespace vireo::platform {

struct TerminalSize {
    std::uint16_t columns = 0;
    std::uint16_t rows = 0;
};

// The window size of the terminal `fd`; fails when `fd` is not a terminal.
std::expected<TerminalSize, IoError> terminal_size(int fd);

}  // namespace vireo::platform
