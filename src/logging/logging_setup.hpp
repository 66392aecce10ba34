#pragma once
// Start-up of the log: the file logger of `[logging]` installed behind the logging facade.

#include <expected>
#include <memory>
#include <string>
#include <string_view>

#include "config/config.hpp"
#include "logging/file_logger.hpp"
#include "logging/logger_error.hpp"

namespace vireo::logging {

// Owned by the program's entry until teardown. Releasing it writes out the buffered lines and
// shuts the writers down; the logger stays installed and drops whatever comes later.
class LoggerHandle {
  public:
    explicit LoggerHandle(std::shared_ptr<FileLogger> logger) : logger_(std::move(logger)) {}
    LoggerHandle(LoggerHandle&& other) noexcept = default;
    LoggerHandle& operator=(LoggerHandle&& other) noexcept;
    LoggerHandle(const LoggerHandle&) = delete;
    LoggerHandle& operator=(const LoggerHandle&) = delete;
    ~LoggerHandle();

  private:
    std::shared_ptr<FileLogger> logger_;
};

// The log file's base name: the program's file name without its extension, "rs" when the
// program path gives none.
std::string log_base_name(std::string_view argv0);

// Parses `logging.filter`, prepares `logging.directory`, installs the file logger as the
// process-wide logger and sets the maximum level to the highest level the filter names. On
// failure nothing is installed and the maximum level is left as it was.
std::expected<LoggerHandle, LoggerError> init_logging(const LoggingConfig& config,
                                                      std::string_view argv0);

}  // namespace vireo::logging
