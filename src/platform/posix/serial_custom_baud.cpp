#include "platform/posix/serial_custom_baud.hpp"

#include <asm/termbits.h>
#include <sys/ioctl.h>

#include <cerrno>

namespace vireo::platform::detail {

int set_custom_baud(int fd, std::uint32_t baudrate) {
    struct termios2 settings {};
    if (ioctl(fd, TCGETS2, &settings) != 0) {
        return errno;
    }
    settings.c_cflag &= ~(CBAUD | (CBAUD << IBSHIFT));
    settings.c_cflag |= BOTHER | (BOTHER << IBSHIFT);
    settings.c_ispeed = baudrate;
    settings.c_ospeed = baudrate;
    if (ioctl(fd, TCSETS2, &settings) != 0) {
        return errno;
    }
    return 0;
}

}  // namespace vireo::platform::detail
