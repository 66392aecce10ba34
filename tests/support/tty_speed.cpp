#include "tty_speed.hpp"

#include <asm/termbits.h>
#include <sys/ioctl.h>

namespace vireo::test {

TtySpeed tty_speed(int fd) {
    struct termios2 settings {};
    if (::ioctl(fd, TCGETS2, &settings) != 0) {
        return {};
    }
    return {settings.c_ospeed, settings.c_ispeed};
}

}  // namespace vireo::test
