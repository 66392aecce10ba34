#include "platform/file.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <string>
#include <utility>

namespace vireo::platform {

namespace {

std::atomic<bool> g_refuse_unnamed{false};
std::atomic<int> g_sync_error{0};
std::atomic<int> g_link_error{0};

std::expected<int, IoError> open_file(const std::filesystem::path& path, int flags) {
    for (;;) {
        const int fd = ::open(path.c_str(), flags | O_CLOEXEC, 0666);
        if (fd >= 0) {
            return fd;
        }
        if (errno != EINTR) {
            return std::unexpected(IoError::last_os_error());
        }
    }
}

}  // namespace

std::expected<File, IoError> File::open_read(const std::filesystem::path& path) {
    auto fd = open_file(path, O_RDONLY);
    if (!fd) {
        return std::unexpected(fd.error());
    }
    return File(*fd);
}

std::expected<File, IoError> File::create_new(const std::filesystem::path& path) {
    auto fd = open_file(path, O_CREAT | O_EXCL | O_WRONLY);
    if (!fd) {
        return std::unexpected(fd.error());
    }
    return File(*fd);
}

std::expected<File, IoError> File::open_append(const std::filesystem::path& path) {
    auto fd = open_file(path, O_CREAT | O_APPEND | O_WRONLY);
    if (!fd) {
        return std::unexpected(fd.error());
    }
    return File(*fd);
}

std::expected<File, IoError> File::create_unnamed(const std::filesystem::path& directory) {
    if (g_refuse_unnamed.load(std::memory_order_relaxed)) {
        return std::unexpected(IoError::from_os(EOPNOTSUPP));
    }
    auto fd =
        open_file(directory.empty() ? std::filesystem::path(".") : directory, O_TMPFILE | O_WRONLY);
    if (!fd) {
        // Kernels and file systems without unnamed files answer in one of these ways (an old
        // kernel takes the flag for O_DIRECTORY alone); all of them mean "not supported".
        const int error = fd.error().os_code().value_or(0);
        if (error == EOPNOTSUPP || error == EISDIR || error == EINVAL) {
            return std::unexpected(IoError::from_os(EOPNOTSUPP));
        }
        return std::unexpected(fd.error());
    }
    return File(*fd);
}

File::File(File&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}

File& File::operator=(File&& other) noexcept {
    if (this != &other) {
        (void)close();
        fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
}

File::~File() {
    (void)close();
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
    if (fd_ < 0) {
        return std::unexpected(IoError::from_os(EBADF));
    }
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd_, bytes.data(), bytes.size());
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return std::unexpected(IoError::last_os_error());
        }
        if (written == 0) {
            return std::unexpected(
                IoError::with_message(IoErrorKind::WriteZero, "failed to write whole buffer"));
        }
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return {};
}

std::expected<void, IoError> File::sync() {
    if (fd_ < 0) {
        return std::unexpected(IoError::from_os(EBADF));
    }
    if (const int error = g_sync_error.load(std::memory_order_relaxed); error != 0) {
        return std::unexpected(IoError::from_os(error));
    }
    while (::fsync(fd_) != 0) {
        if (errno != EINTR) {
            return std::unexpected(IoError::last_os_error());
        }
    }
    return {};
}

std::expected<void, IoError> File::close() {
    if (fd_ < 0) {
        return {};
    }
    // The descriptor is gone after close() whatever it returns, so it is never retried.
    const int fd = std::exchange(fd_, -1);
    if (::close(fd) != 0 && errno != EINTR) {
        return std::unexpected(IoError::last_os_error());
    }
    return {};
}

std::expected<void, IoError> File::link_to(const std::filesystem::path& path) {
    if (fd_ < 0) {
        return std::unexpected(IoError::from_os(EBADF));
    }
    if (const int error = g_link_error.load(std::memory_order_relaxed); error != 0) {
        return std::unexpected(IoError::from_os(error));
    }
    // Naming a descriptor through /proc needs no privilege; AT_EMPTY_PATH does, but serves
    // where /proc is missing. Either fails with EEXIST on a taken name, never replacing it.
    const std::string self = "/proc/self/fd/" + std::to_string(fd_);
    if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, path.c_str(), AT_SYMLINK_FOLLOW) == 0) {
        return {};
    }
    const int error = errno;
    if (error != ENOENT || ::access("/proc/self/fd", F_OK) == 0) {
        return std::unexpected(IoError::from_os(error));
    }
    if (::linkat(fd_, "", AT_FDCWD, path.c_str(), AT_EMPTY_PATH) != 0) {
        return std::unexpected(IoError::last_os_error());
    }
    return {};
}

void set_file_faults_for_testing(FileFaultsForTesting faults) {
    g_refuse_unnamed.store(faults.refuse_unnamed, std::memory_order_relaxed);
    g_sync_error.store(faults.sync_error, std::memory_order_relaxed);
    g_link_error.store(faults.link_error, std::memory_order_relaxed);
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
    auto directory = File::open_read(path);
    if (!directory) {
        return std::unexpected(directory.error());
    }
    return directory->sync();
}

}  // namespace vireo::platform
