#include "platform/terminal_size.hpp"

#include <sys/ioctl.h>

namespace vireo::platform {

std::expected<TerminalSize, IoError> terminal_size(int fd) {
    winsize size{};
    if (::ioctl(fd, TIOCGWINSZ, &size) != 0) {
        return std::unexpected(IoError::last_os_error());
    }
    return TerminalSize{size.ws_col, size.ws_row};
}

}  // namespace vireo::platform
