#include "common/log.hpp"

#include <atomic>

namespace vireo::log {

namespace {

std::atomic<std::uint8_t> g_max_level{static_cast<std::uint8_t>(Level::Off)};

// Never destroyed: the user may quit while a worker still logs, and exit() must not free the
// installed logger under it.
std::atomic<std::shared_ptr<Logger>>& installed_logger() {
    static auto* const slot = new std::atomic<std::shared_ptr<Logger>>();
    return *slot;
}

}  // namespace

std::string_view level_name(Level level) {
    switch (level) {
        case Level::Off:
            return "OFF";
        case Level::Error:
            return "ERROR";
        case Level::Warn:
            return "WARN";
        case Level::Info:
            return "INFO";
        case Level::Debug:
            return "DEBUG";
        case Level::Trace:
            return "TRACE";
    }
    return "OFF";
}

Level max_level() {
    return static_cast<Level>(g_max_level.load(std::memory_order_relaxed));
}

void set_max_level(Level level) {
    g_max_level.store(static_cast<std::uint8_t>(level), std::memory_order_relaxed);
}

bool enabled(Level level) {
    return level != Level::Off &&
           static_cast<std::uint8_t>(level) <= g_max_level.load(std::memory_order_relaxed);
}

bool set_logger(std::shared_ptr<Logger> logger) {
    std::shared_ptr<Logger> expected;
    return installed_logger().compare_exchange_strong(expected, std::move(logger));
}

std::shared_ptr<Logger> logger() {
    return installed_logger().load();
}

void write(Level level, std::string_view target, std::string_view message) {
    if (!enabled(level)) {
        return;
    }
    if (const auto installed = installed_logger().load()) {
        installed->write(Record{level, target, message});
    }
}

std::shared_ptr<Logger> replace_logger_for_testing(std::shared_ptr<Logger> logger) {
    return installed_logger().exchange(std::move(logger));
}

}  // namespace vireo::log
