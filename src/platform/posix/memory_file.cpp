#include "platform/memory_file.hpp"

#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

namespace vireo::platform {

std::expected<MemoryFile, IoError> MemoryFile::create() {
    const int fd = ::memfd_create("vireo-output", MFD_CLOEXEC);
    if (fd < 0) {
        return std::unexpected(IoError::last_os_error());
    }
    return MemoryFile(fd);
}

MemoryFile::MemoryFile(MemoryFile&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}

MemoryFile& MemoryFile::operator=(MemoryFile&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0) {
            ::close(fd_);
        }
        fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
}

MemoryFile::~MemoryFile() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

std::expected<void, IoError> MemoryFile::attach(int fd) const {
    while (::dup2(fd_, fd) < 0) {
        if (errno != EINTR && errno != EBUSY) {
            return std::unexpected(IoError::last_os_error());
        }
    }
    return {};
}

std::expected<void, IoError> MemoryFile::drain(std::string& out) const {
    // Descriptors attached to this file share its offset: it is how much was written.
    const off_t written = ::lseek(fd_, 0, SEEK_CUR);
    if (written < 0) {
        return std::unexpected(IoError::last_os_error());
    }
    if (written == 0) {
        return {};
    }
    const std::size_t start = out.size();
    out.resize(start + static_cast<std::size_t>(written));
    std::size_t done = 0;
    while (done < static_cast<std::size_t>(written)) {
        const ssize_t got =
            ::pread(fd_, out.data() + start + done, static_cast<std::size_t>(written) - done,
                    static_cast<off_t>(done));
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            out.resize(start);
            return std::unexpected(got < 0 ? IoError::last_os_error()
                                           : IoError::from_kind(IoErrorKind::UnexpectedEof));
        }
        done += static_cast<std::size_t>(got);
    }
    if (::lseek(fd_, 0, SEEK_SET) < 0) {
        return std::unexpected(IoError::last_os_error());
    }
    return {};
}

}  // namespace vireo::platform
