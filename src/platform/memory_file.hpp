#pragma once
// A file in memory that collects what is written to it, for a library that writes only to a
// descriptor of its own while the caller wants to see and send the bytes itself.

#include <expected>
#include <string>

#include "common/io_error.hpp"

namespace vireo::platform {

class MemoryFile {
  public:
    static std::expected<MemoryFile, IoError> create();

    MemoryFile(MemoryFile&& other) noexcept;
    MemoryFile& operator=(MemoryFile&& other) noexcept;
    MemoryFile(const MemoryFile&) = delete;
    MemoryFile& operator=(const MemoryFile&) = delete;
    ~MemoryFile();

    // Makes the open descriptor `fd` write to this file; what it referred to before is let go.
    std::expected<void, IoError> attach(int fd) const;
    // Appends the bytes written since the last call to `out`; the file starts empty again.
    std::expected<void, IoError> drain(std::string& out) const;

  private:
    explicit MemoryFile(int fd) : fd_(fd) {}
    int fd_ = -1;
};

}  // namespace vireo::platform
