#pragma once
// The file operations the configuration needs from the operating system: whole-file reads,
// exclusive creation, durable writes and replacing rename. Errors are the system's.

#include <cstdint>
#include <expected>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "common/io_error.hpp"

namespace vireo::platform {

// An open file, closed when released.
class File {
  public:
    // Opens an existing file for reading only.
    static std::expected<File, IoError> open_read(const std::filesystem::path& path);
    // Creates a new file for writing only; fails with AlreadyExists when the name is taken.
    static std::expected<File, IoError> create_new(const std::filesystem::path& path);

    File(File&& other) noexcept;
    File& operator=(File&& other) noexcept;
    File(const File&) = delete;
    File& operator=(const File&) = delete;
    ~File();

    // Every byte up to the end of the file.
    std::expected<std::string, IoError> read_to_end();
    // Writes all of `bytes`, continuing partial writes.
    std::expected<void, IoError> write_all(std::string_view bytes);
    // Flushes the file's data and metadata to the storage device.
    std::expected<void, IoError> sync();
    // Closes the file now; a failure to close is not reported.
    void close();

  private:
    explicit File(int fd) : fd_(fd) {}
    int fd_;
};

// Renames `from` to `to`, replacing `to` in one step.
std::expected<void, IoError> rename_file(const std::filesystem::path& from,
                                         const std::filesystem::path& to);
// Deletes a file.
std::expected<void, IoError> remove_file(const std::filesystem::path& path);
// Flushes a directory's entries to the storage device, so that a rename in it is durable.
std::expected<void, IoError> sync_directory(const std::filesystem::path& path);

// The current process's identifier.
std::uint32_t process_id();
// An environment variable's value as the operating system holds it, or none when unset.
std::optional<std::string> environment_variable(const char* name);

}  // namespace vireo::platform
