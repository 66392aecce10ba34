#pragma once
// Files written by the program (CSV scans, the log): an owned descriptor with the few calls we
// need, so the writers stay free of system headers.

#include <cstddef>
#include <expected>
#include <filesystem>
#include <string_view>

#include "common/io_error.hpp"

namespace vireo::platform {

class File {
  public:
    // Creates a new file for writing; fails with AlreadyExists when the name is taken.
    static std::expected<File, IoError> create_new(const std::filesystem::path& path);
    // Opens a file for appending, creating it when missing.
    static std::expected<File, IoError> open_append(const std::filesystem::path& path);

    File(File&& other) noexcept;
    File& operator=(File&& other) noexcept;
    File(const File&) = delete;
    File& operator=(const File&) = delete;
    // Closes the file if it is still open; a close failure is ignored here.
    ~File();

    // Writes every byte, retrying short writes and interruptions.
    std::expected<void, IoError> write_all(std::string_view bytes);
    // Forces the written data to the storage device.
    std::expected<void, IoError> sync();
    // Closes the file now and reports a failure of the close.
    std::expected<void, IoError> close();

  private:
    explicit File(int fd) : fd_(fd) {}
    int fd_ = -1;
};

// Deletes a file.
std::expected<void, IoError> remove_file(const std::filesystem::path& path);

}  // namespace vireo::platform
