#pragma once
// Rates outside the B* constants of <termios.h> go through Linux termios2; the two headers
// cannot share a translation unit.

#include <cstdint>

namespace vireo::platform::detail {

// Sets both directions of the open tty `fd` to `baudrate`; 0 or the errno of the failure.
int set_custom_baud(int fd, std::uint32_t baudrate);

}  // namespace vireo::platform::detail
