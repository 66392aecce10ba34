#include "platform/file_system.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <utility>

namespace vireo::platform {

std::expected<File, IoError> File::open_read(const std::filesystem::path& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return std::unexpected(IoError::last_os_error());
    }
    return File(fd);
}

std::expected<File, IoError> File::create_new(const std::filesystem::path& path) {
    const int fd = ::open(path.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0666);
    if (fd < 0) {
        return std::unexpected(IoError::last_os_error());
    }
    return File(fd);
}

File::File(File&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}

File& File::operator=(File&& other) noexcept {
    if (this != &other) {
        close();
        fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
}

File::~File() {
    close();
}

void File::close() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

std::expected<std::string, IoError> File::read_to_end() {
    std::string out;
    char buffer[8192];
    for (;;) {
        const ssize_t n = ::read(fd_, buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return std::unexpected(IoError::last_os_error());
        }
        if (n == 0) {
            return out;
        }
        out.append(buffer, static_cast<std::size_t>(n));
    }
}

std::expected<void, IoError> File::write_all(std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd_, bytes.data(), bytes.size());
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return std::unexpected(IoError::last_os_error());
        }
        if (n == 0) {
            return std::unexpected(
                IoError::with_message(IoErrorKind::WriteZero, "failed to write whole buffer"));
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return {};
}

std::expected<void, IoError> File::sync() {
    if (::fsync(fd_) != 0) {
        return std::unexpected(IoError::last_os_error());
    }
    return {};
}

std::expected<void, IoError> rename_file(const std::filesystem::path& from,
                                         const std::filesystem::path& to) {
    if (::rename(from.c_str(), to.c_str()) != 0) {
        return std::unexpected(IoError::last_os_error());
    }
    return {};
}

std::expected<void, IoError> remove_file(const std::filesystem::path& path) {
    if (::unlink(path.c_str()) != 0) {
        return std::unexpected(IoError::last_os_error());
    }
    return {};
}

std::expected<void, IoError> sync_directory(const std::filesystem::path& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        return std::unexpected(IoError::last_os_error());
    }
    const int rc = ::fsync(fd);
    const IoError error = IoError::last_os_error();
    ::close(fd);
    if (rc != 0) {
        return std::unexpected(error);
    }
    return {};
}

std::uint32_t process_id() {
    return static_cast<std::uint32_t>(::getpid());
}

std::optional<std::string> environment_variable(const char* name) {
    const char* value = std::getenv(name);
    if (value == nullptr) {
        return std::nullopt;
    }
    return std::string(value);
}

}  // namespace vireo::platform
