#include "logging/logging_setup.hpp"

#include <filesystem>

namespace vireo::logging {

LoggerHandle& LoggerHandle::operator=(LoggerHandle&& other) noexcept {
    if (this != &other) {
        if (logger_) {
            logger_->shutdown();
        }
        logger_ = std::move(other.logger_);
    }
    return *this;
}

LoggerHandle::~LoggerHandle() {
    if (logger_) {
        logger_->shutdown();
    }
}

std::string log_base_name(std::string_view argv0) {
    // Trailing separators don't end a file name ("/opt/vireo/" names "vireo").
    while (argv0.size() > 1 && argv0.back() == '/') {
        argv0.remove_suffix(1);
    }
    std::string stem = std::filesystem::path(argv0).stem().string();
    return stem.empty() ? std::string("rs") : stem;
}

std::expected<LoggerHandle, LoggerError> init_logging(const LoggingConfig& config,
                                                      std::string_view argv0) {
    auto spec = parse_log_spec(config.filter);
    if (!spec) {
        return std::unexpected(LoggerError::Parse{std::move(spec.error())});
    }
    const log::Level max_level = spec->max_level();
    auto logger = FileLogger::start(std::move(*spec), config.directory, log_base_name(argv0));
    if (!logger) {
        return std::unexpected(logger.error());
    }
    // Installed before the level is raised, so a refused second logger leaves the installed
    // one's level alone.
    if (!log::set_logger(*logger)) {
        return std::unexpected(LoggerError::AlreadyInstalled{});
    }
    log::set_max_level(max_level);
    return LoggerHandle(std::move(*logger));
}

}  // namespace vireo::logging
