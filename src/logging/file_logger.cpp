#include "logging/file_logger.hpp"

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>

#include <fmt/chrono.h>
#include <fmt/format.h>
#include <spdlog/details/log_msg.h>
#include <spdlog/logger.h>
#include <spdlog/pattern_formatter.h>
#include <spdlog/sinks/base_sink.h>

#include "platform/file.hpp"

namespace vireo::logging {

namespace fs = std::filesystem;

namespace {

constexpr std::size_t BUFFER_BYTES = 8192;
constexpr auto FLUSH_INTERVAL = std::chrono::seconds(1);

spdlog::level::level_enum to_spdlog(log::Level level) {
    switch (level) {
        case log::Level::Error:
            return spdlog::level::err;
        case log::Level::Warn:
            return spdlog::level::warn;
        case log::Level::Info:
            return spdlog::level::info;
        case log::Level::Debug:
            return spdlog::level::debug;
        case log::Level::Trace:
            return spdlog::level::trace;
        case log::Level::Off:
            break;
    }
    return spdlog::level::off;
}

std::string_view upper_level_name(spdlog::level::level_enum level) {
    switch (level) {
        case spdlog::level::err:
        case spdlog::level::critical:
            return "ERROR";
        case spdlog::level::warn:
            return "WARN";
        case spdlog::level::info:
            return "INFO";
        case spdlog::level::debug:
            return "DEBUG";
        case spdlog::level::trace:
            return "TRACE";
        default:
            return "OFF";
    }
}

// "%*": the level as the log file spells it; spdlog's own names are lower case and say
// "warning".
class LevelFlag final : public spdlog::custom_flag_formatter {
  public:
    void format(const spdlog::details::log_msg& msg, const std::tm&,
                spdlog::memory_buf_t& dest) override {
        const std::string_view name = upper_level_name(msg.level);
        dest.append(name.data(), name.data() + name.size());
    }
    std::unique_ptr<custom_flag_formatter> clone() const override {
        return std::make_unique<LevelFlag>();
    }
};

std::unique_ptr<spdlog::formatter> line_formatter() {
    spdlog::pattern_formatter::custom_flags flags;
    flags['*'] = std::make_unique<LevelFlag>();
    // The record's target travels as the message's logger name, hence %n.
    return std::make_unique<spdlog::pattern_formatter>(
        "%* [%n] %v", spdlog::pattern_time_type::local, "\n", std::move(flags));
}

spdlog::string_view_t view(std::string_view text) {
    return spdlog::string_view_t(text.data(), text.size());
}

// Opens its file at the first line and buffers lines in front of it. Failures are thrown as
// spdlog exceptions, which the logger hands to its error handler.
class LazyFileSink final : public spdlog::sinks::base_sink<std::mutex> {
  public:
    LazyFileSink(fs::path directory, std::string base_name, Clock clock)
        : directory_(std::move(directory)),
          base_name_(std::move(base_name)),
          clock_(std::move(clock)) {
        buffer_.reserve(BUFFER_BYTES);
    }

    // Writes out what is buffered and drops the file; every record after this is discarded.
    // A record that got in after the last flush is still written, not cleared from the buffer.
    void close() {
        std::lock_guard lock(mutex_);
        if (closed_) {
            return;
        }
        closed_ = true;
        try {
            write_out();
        } catch (const spdlog::spdlog_ex&) {
            // A failing log has nobody left to tell; the lines are lost.
        }
        file_.reset();
    }

  protected:
    void sink_it_(const spdlog::details::log_msg& msg) override {
        if (closed_) {
            return;
        }
        spdlog::memory_buf_t line;
        formatter_->format(msg, line);
        if (!file_) {
            open();
        }
        const std::string_view text(line.data(), line.size());
        if (buffer_.size() + text.size() > BUFFER_BYTES) {
            write_out();
        }
        if (text.size() >= BUFFER_BYTES) {
            write(text);
        } else {
            buffer_.append(text);
        }
    }

    void flush_() override { write_out(); }

  private:
    void open() {
        const auto now = std::chrono::system_clock::to_time_t(clock_());
        const fs::path path = directory_ / fmt::format("{}_{:%Y-%m-%d_%H-%M-%S}.log", base_name_,
                                                       fmt::localtime(now));
        // Appending: a second run that first logs within the same second keeps the earlier log.
        auto opened = platform::File::open_append(path);
        if (!opened) {
            throw spdlog::spdlog_ex(
                fmt::format("cannot open log file {}: {}", path.string(), display(opened.error())));
        }
        file_.emplace(std::move(*opened));
    }

    void write_out() {
        if (buffer_.empty() || !file_) {
            return;
        }
        // On failure the buffered lines are lost rather than retried for ever.
        const std::string pending = std::move(buffer_);
        buffer_.clear();
        buffer_.reserve(BUFFER_BYTES);
        write(pending);
    }

    void write(std::string_view text) {
        if (auto written = file_->write_all(text); !written) {
            throw spdlog::spdlog_ex("cannot write log file: " + display(written.error()));
        }
    }

    fs::path directory_;
    std::string base_name_;
    Clock clock_;
    std::optional<platform::File> file_;
    std::string buffer_;
    bool closed_ = false;
};

// A logger whose records carry their own target in place of the logger's name.
class TargetLogger final : public spdlog::logger {
  public:
    using spdlog::logger::logger;

    void log_record(const log::Record& record) {
        spdlog::details::log_msg msg(spdlog::source_loc{}, view(record.target),
                                     to_spdlog(record.level), view(record.message));
        sink_it_(msg);
    }
};

std::expected<void, LoggerError> prepare_directory(const fs::path& directory) {
    std::error_code ec;
    const fs::file_status before = fs::status(directory, ec);
    if (fs::exists(before) && !fs::is_directory(before)) {
        return std::unexpected(LoggerError::BadDirectory{});
    }
    fs::create_directories(directory, ec);
    if (ec) {
        return std::unexpected(LoggerError::Output{IoError::from_os(ec.value())});
    }
    const fs::file_status after = fs::status(directory, ec);
    if (ec) {
        return std::unexpected(LoggerError::Output{IoError::from_os(ec.value())});
    }
    if (!fs::is_directory(after)) {
        return std::unexpected(LoggerError::BadDirectory{});
    }
    return {};
}

}  // namespace

struct FileLogger::Impl {
    LogSpec spec;
    std::shared_ptr<LazyFileSink> sink;
    std::shared_ptr<TargetLogger> logger;
    std::atomic<bool> shut_down{false};

    std::mutex flusher_mutex;
    std::condition_variable flusher_wake;
    bool flusher_stop = false;
    std::thread flusher;

    void run_flusher() {
        std::unique_lock lock(flusher_mutex);
        while (!flusher_wake.wait_for(lock, FLUSH_INTERVAL, [this] { return flusher_stop; })) {
            lock.unlock();
            logger->flush();
            lock.lock();
        }
    }

    void stop_flusher() {
        {
            std::lock_guard lock(flusher_mutex);
            flusher_stop = true;
        }
        flusher_wake.notify_all();
        if (flusher.joinable()) {
            flusher.join();
        }
    }
};

std::expected<std::shared_ptr<FileLogger>, LoggerError> FileLogger::start(LogSpec spec,
                                                                          const fs::path& directory,
                                                                          std::string base_name,
                                                                          Clock clock) {
    // An empty directory setting means the working directory.
    const fs::path dir = directory.empty() ? fs::path(".") : directory;
    if (auto prepared = prepare_directory(dir); !prepared) {
        return std::unexpected(prepared.error());
    }
    if (!clock) {
        clock = [] { return std::chrono::system_clock::now(); };
    }
    auto impl = std::make_unique<Impl>();
    impl->spec = std::move(spec);
    impl->sink = std::make_shared<LazyFileSink>(dir, std::move(base_name), std::move(clock));
    impl->sink->set_formatter(line_formatter());
    impl->logger = std::make_shared<TargetLogger>("vireo", impl->sink);
    impl->logger->set_level(spdlog::level::trace);
    impl->logger->flush_on(spdlog::level::off);
    // spdlog's own handler prints on standard error, which the full-screen interface owns; a
    // log that cannot be written has nobody to tell, so the failure is dropped.
    impl->logger->set_error_handler([](const std::string&) {});
    try {
        impl->flusher = std::thread([raw = impl.get()] { raw->run_flusher(); });
    } catch (const std::system_error& e) {
        return std::unexpected(LoggerError::Output{IoError::from_os(e.code().value())});
    }
    return std::make_shared<FileLogger>(std::move(impl));
}

FileLogger::FileLogger(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

FileLogger::~FileLogger() {
    shutdown();
}

void FileLogger::write(const log::Record& record) {
    if (impl_->shut_down.load(std::memory_order_acquire) ||
        !impl_->spec.passes(record.level, record.target, record.message)) {
        return;
    }
    impl_->logger->log_record(record);
}

void FileLogger::flush() {
    if (!impl_->shut_down.load(std::memory_order_acquire)) {
        impl_->logger->flush();
    }
}

void FileLogger::shutdown() {
    if (impl_->shut_down.exchange(true, std::memory_order_acq_rel)) {
        return;
    }
    impl_->stop_flusher();
    impl_->logger->flush();
    impl_->sink->close();
}

}  // namespace vireo::logging
