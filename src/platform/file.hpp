#pragma once
// Files the program reads and writes (configuration, CSV scans, the log): an owned descriptor
// with the few calls we need, so the callers stay free of system headers. Errors are the system's.

#include <cstddef>
#include <expected>
#include <filesystem>
#include <string>
#include <string_view>

#include "common/io_error.hpp"

namespace vireo::platform {

class File {
  public:
    // Opens an existing file for reading only.
    static std::expected<File, IoError> open_read(const std::filesystem::path& path);
    // Creates a new file for writing; fails with AlreadyExists when the name is taken.
    static std::expected<File, IoError> create_new(const std::filesystem::path& path);
    // Opens a file for appending, creating it when missing.
    static std::expected<File, IoError> open_append(const std::filesystem::path& path);
    // Creates a file without a name in `directory` (the current one when empty), for writing;
    // it vanishes when closed unless link_to named it. Unsupported when the file system cannot
    // hold unnamed files.
    static std::expected<File, IoError> create_unnamed(const std::filesystem::path& directory);

    File(File&& other) noexcept;
    File& operator=(File&& other) noexcept;
    File(const File&) = delete;
    File& operator=(const File&) = delete;
    // Closes the file if it is still open; a close failure is ignored here.
    ~File();

    // Every byte up to the end of the file.
    std::expected<std::string, IoError> read_to_end();
    // Writes every byte, retrying short writes and interruptions.
    std::expected<void, IoError> write_all(std::string_view bytes);
    // Forces the written data to the storage device.
    std::expected<void, IoError> sync();
    // Closes the file now and reports a failure of the close.
    std::expected<void, IoError> close();
    // Gives a file of create_unnamed its name; fails with AlreadyExists when the name is taken.
    std::expected<void, IoError> link_to(const std::filesystem::path& path);

  private:
    explicit File(int fd) : fd_(fd) {}
    int fd_ = -1;
};

// Test seam: faults the file layer shows in place of the system's answers.
struct FileFaultsForTesting {
    // create_unnamed fails as on a file system without unnamed files.
    bool refuse_unnamed = false;
    // Every sync fails with this error number; 0 for none.
    int sync_error = 0;
    // Every link_to fails with this error number, as where naming an unnamed file is refused;
    // 0 for none.
    int link_error = 0;
};
void set_file_faults_for_testing(FileFaultsForTesting faults);

// Renames `from` to `to`, replacing `to` in one step.
std::expected<void, IoError> rename_file(const std::filesystem::path& from,
                                         const std::filesystem::path& to);
// Deletes a file.
std::expected<void, IoError> remove_file(const std::filesystem::path& path);
// Flushes a directory's entries to the storage device, so that a rename in it is durable.
std::expected<void, IoError> sync_directory(const std::filesystem::path& path);

}  // namespace vireo::platform
