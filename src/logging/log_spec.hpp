#pragma once
// The log filter of `logging.filter`: a default level, module items and an optional
// regular expression that a record's message must match, e.g. "warn,vireo::scan=debug/failed".

#include <expected>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/log.hpp"

namespace re2 {
class RE2;
}

namespace vireo::logging {

class LogSpec {
  public:
    // One "module=level" item; a module named alone takes every level.
    struct ModuleLevel {
        std::string module;
        log::Level level;
    };

    // The level records of this target are kept up to: that of the longest module item naming
    // the target or one of its parents by whole "::" segments, else the default level (Off when
    // the filter gives none).
    log::Level level_for(std::string_view target) const;
    // True when a record passes the levels and, if there is one, the message filter.
    bool passes(log::Level level, std::string_view target, std::string_view message) const;
    // The highest level named anywhere in the filter.
    log::Level max_level() const;

    // Longest module first.
    const std::vector<ModuleLevel>& modules() const { return modules_; }
    bool has_text_filter() const { return text_filter_ != nullptr; }

  private:
    std::optional<log::Level> default_level_;
    std::vector<ModuleLevel> modules_;
    std::shared_ptr<const re2::RE2> text_filter_;

    friend std::expected<LogSpec, std::vector<std::string>> parse_log_spec(std::string_view text);
};

// Parses a log filter; on failure, the messages of every problem found, in text order.
std::expected<LogSpec, std::vector<std::string>> parse_log_spec(std::string_view text);

}  // namespace vireo::logging
