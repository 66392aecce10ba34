#pragma once
// The program's log writer: records that pass the log filter go, as "LEVEL [target] message"
// lines, through an 8192-byte buffer into "{base}_{%Y-%m-%d_%H-%M-%S}.log". The file is opened
// (for appending) at the first such record, and a background thread flushes every second.

#include <chrono>
#include <expected>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "common/log.hpp"
#include "logging/log_spec.hpp"
#include "logging/logger_error.hpp"

namespace vireo::logging {

// The wall clock that names the file when it is opened.
using Clock = std::function<std::chrono::system_clock::time_point()>;

class FileLogger final : public log::Logger {
  public:
    // Creates the directory with its parents, checks that it is one and starts the flusher.
    static std::expected<std::shared_ptr<FileLogger>, LoggerError> start(
        LogSpec spec, const std::filesystem::path& directory, std::string base_name,
        Clock clock = {});

    ~FileLogger() override;

    // Never fails: when the file cannot be opened or written the record is lost without a
    // word (standard error belongs to the terminal interface).
    void write(const log::Record& record) override;
    void flush() override;
    // Writes out the buffer, closes the file and stops the flusher; later records are dropped.
    void shutdown();

    struct Impl;
    explicit FileLogger(std::unique_ptr<Impl> impl);

  private:
    std::unique_ptr<Impl> impl_;
};

}  // namespace vireo::logging
