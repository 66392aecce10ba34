#pragma once
// The logging facade: a process-wide logger and maximum level that the program's records go
// through. The file logger that fills it in is installed at start-up; until then, and with the
// level at Off, records cost one comparison.

#include <cstdint>
#include <memory>
#include <string_view>

namespace vireo::log {

enum class Level : std::uint8_t { Off = 0, Error, Warn, Info, Debug, Trace };

// "ERROR", "WARN", "INFO", "DEBUG", "TRACE" ("OFF" for Off).
std::string_view level_name(Level level);

struct Record {
    Level level;
    std::string_view target;
    std::string_view message;
};

// Receives the records that pass the maximum level.
class Logger {
  public:
    virtual ~Logger() = default;
    virtual void write(const Record& record) = 0;
    virtual void flush() = 0;
};

// The process-wide maximum level; starts at Off.
Level max_level();
void set_max_level(Level level);
// True when a record of this level passes the maximum level (never for Off).
bool enabled(Level level);

// Installs the process-wide logger; false when one is installed already.
bool set_logger(std::shared_ptr<Logger> logger);
// The installed logger, or none.
std::shared_ptr<Logger> logger();

// Hands one record to the installed logger when its level is enabled. Callers that build the
// message check `enabled` first so nothing is formatted for a record that is dropped.
void write(Level level, std::string_view target, std::string_view message);

// Test seam: replaces the installed logger unconditionally and returns the previous one.
std::shared_ptr<Logger> replace_logger_for_testing(std::shared_ptr<Logger> logger);

}  // namespace vireo::log
