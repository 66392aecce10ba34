#pragma once
// Captures the records of the logging facade for the lifetime of one test, with a chosen
// maximum level; the previous logger and level come back afterwards.

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "common/log.hpp"

namespace vireo::testing {

struct CapturedRecord {
    log::Level level;
    std::string target;
    std::string message;

    friend bool operator==(const CapturedRecord&, const CapturedRecord&) = default;
};

class LogCapture {
  public:
    explicit LogCapture(log::Level max_level)
        : sink_(std::make_shared<Sink>()),
          previous_logger_(log::replace_logger_for_testing(sink_)),
          previous_level_(log::max_level()) {
        log::set_max_level(max_level);
    }
    ~LogCapture() {
        log::set_max_level(previous_level_);
        log::replace_logger_for_testing(previous_logger_);
    }
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    std::vector<CapturedRecord> records() const {
        const std::lock_guard lock(sink_->mutex);
        return sink_->records;
    }

  private:
    struct Sink : log::Logger {
        void write(const log::Record& record) override {
            const std::lock_guard lock(mutex);
            records.push_back(
                {record.level, std::string(record.target), std::string(record.message)});
        }
        void flush() override {}

        std::mutex mutex;
        std::vector<CapturedRecord> records;
    };

    std::shared_ptr<Sink> sink_;
    std::shared_ptr<log::Logger> previous_logger_;
    log::Level previous_level_;
};

}  // namespace vireo::testing
