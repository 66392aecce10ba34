#pragma once
// Reads a terminal's line speed as the driver holds it, any rate included; <termios.h> only
// knows the standard ones.

#include <cstdint>

namespace vireo::test {

// The output and input rates of the terminal `fd`, in baud; both 0 when they cannot be read.
struct TtySpeed {
    std::uint32_t output = 0;
    std::uint32_t input = 0;
};
TtySpeed tty_speed(int fd);

}  // namespace vireo::test
