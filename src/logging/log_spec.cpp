#include "logging/log_spec.hpp"

#include <algorithm>

#include <fmt/format.h>
#include <re2/re2.h>

#include "common/text.hpp"

namespace vireo::logging {

namespace {

std::optional<log::Level> parse_level(std::string_view name) {
    const std::string lower = ascii_lowercase(name);
    if (lower == "off") {
        return log::Level::Off;
    }
    if (lower == "error") {
        return log::Level::Error;
    }
    if (lower == "warn") {
        return log::Level::Warn;
    }
    if (lower == "info") {
        return log::Level::Info;
    }
    if (lower == "debug") {
        return log::Level::Debug;
    }
    if (lower == "trace") {
        return log::Level::Trace;
    }
    return std::nullopt;
}

bool contains_whitespace(std::string_view text) {
    while (!text.empty()) {
        const DecodedChar c = decode_utf8(text);
        if (is_unicode_whitespace(c.code_point)) {
            return true;
        }
        text.remove_prefix(c.length);
    }
    return false;
}

std::vector<std::string_view> split(std::string_view text, char separator) {
    std::vector<std::string_view> parts;
    for (;;) {
        const auto at = text.find(separator);
        parts.push_back(text.substr(0, at));
        if (at == std::string_view::npos) {
            return parts;
        }
        text.remove_prefix(at + 1);
    }
}

// A module item names the target itself or one of its parents; the empty name names every
// target.
bool names_target(std::string_view module, std::string_view target) {
    if (module.empty()) {
        return true;
    }
    if (!target.starts_with(module)) {
        return false;
    }
    const std::string_view rest = target.substr(module.size());
    return rest.empty() || rest.starts_with("::");
}

}  // namespace

log::Level LogSpec::level_for(std::string_view target) const {
    for (const ModuleLevel& item : modules_) {
        if (names_target(item.module, target)) {
            return item.level;
        }
    }
    return default_level_.value_or(log::Level::Off);
}

bool LogSpec::passes(log::Level level, std::string_view target, std::string_view message) const {
    if (level == log::Level::Off || level > level_for(target)) {
        return false;
    }
    return text_filter_ == nullptr ||
           RE2::PartialMatch(re2::StringPiece(message.data(), message.size()), *text_filter_);
}

log::Level LogSpec::max_level() const {
    log::Level highest = default_level_.value_or(log::Level::Off);
    for (const ModuleLevel& item : modules_) {
        highest = std::max(highest, item.level);
    }
    return highest;
}

std::expected<LogSpec, std::vector<std::string>> parse_log_spec(std::string_view text) {
    std::vector<std::string> problems;
    const std::vector<std::string_view> sections = split(text, '/');
    if (sections.size() > 2) {
        // The whole text is rejected, so nothing in it is looked at further.
        problems.push_back(fmt::format("invalid log spec '{}' (too many '/'s), ignoring it", text));
        return std::unexpected(std::move(problems));
    }

    LogSpec spec;
    auto set_module = [&spec](std::string_view module, log::Level level) {
        // A later item for the same module overrides an earlier one.
        auto found = std::find_if(spec.modules_.begin(), spec.modules_.end(),
                                  [&](const auto& item) { return item.module == module; });
        if (found != spec.modules_.end()) {
            found->level = level;
        } else {
            spec.modules_.push_back({std::string(module), level});
        }
    };

    for (std::string_view item : split(sections[0], ',')) {
        item = trim_unicode_whitespace(item);
        if (item.empty()) {
            continue;
        }
        const std::vector<std::string_view> parts = split(item, '=');
        if (parts.size() > 2) {
            problems.push_back(fmt::format("invalid part in log spec '{}', ignoring it", item));
            continue;
        }
        const std::string_view name = trim_unicode_whitespace(parts[0]);
        if (contains_whitespace(name)) {
            problems.push_back(fmt::format(
                "ignoring invalid part in log spec '{}' (contains a whitespace)", name));
            continue;
        }
        if (parts.size() == 1) {
            if (const auto level = parse_level(name)) {
                spec.default_level_ = *level;
            } else {
                set_module(name, log::Level::Trace);
            }
            continue;
        }
        const std::string_view level_name = trim_unicode_whitespace(parts[1]);
        if (level_name.empty()) {
            set_module(name, log::Level::Trace);
        } else if (const auto level = parse_level(level_name)) {
            set_module(name, *level);
        } else {
            problems.push_back(fmt::format("unknown level filter: {}", level_name));
        }
    }

    if (sections.size() == 2) {
        RE2::Options options;
        options.set_log_errors(false);
        auto filter = std::make_shared<const RE2>(
            re2::StringPiece(sections[1].data(), sections[1].size()), options);
        if (filter->ok()) {
            spec.text_filter_ = std::move(filter);
        } else {
            problems.push_back(fmt::format("invalid regex filter - {}", filter->error()));
        }
    }

    if (!problems.empty()) {
        return std::unexpected(std::move(problems));
    }
    // Items are unique, and two of the same length never both name one target, so the order
    // among equal lengths does not matter.
    std::sort(spec.modules_.begin(), spec.modules_.end(),
              [](const auto& a, const auto& b) { return a.module.size() > b.module.size(); });
    return spec;
}

}  // namespace vireo::logging
