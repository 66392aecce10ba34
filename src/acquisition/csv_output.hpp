#pragma once
// The CSV file of one successful sweep: a new file per run, named after the local time, holding
// one "frequency,level" row per sample. Where the file system allows it, the file gets its name
// only once it is complete, so a run that fails or ends half-way leaves none; elsewhere it is
// created under its name, and deleted again when writing it fails.

#include <chrono>
#include <expected>
#include <filesystem>
#include <functional>
#include <span>
#include <string>

#include "common/io_error.hpp"
#include "config/config.hpp"
#include "scan/sample.hpp"

namespace vireo {

// Writes the samples to "{prefix}_{stamp}_{n}.csv" in the output directory (created with its
// parents) and returns the path of the new file.
std::expected<std::filesystem::path, IoError> write_scan_csv(const OutputConfig& output,
                                                             std::span<const Sample> samples);

namespace csv_detail {

// The file-name time stamp of a moment in local time: "%Y%m%d %H_%M_%S_%6f", microseconds
// truncated.
std::string scan_timestamp(std::chrono::system_clock::time_point when);

using Clock = std::function<std::chrono::system_clock::time_point()>;

// write_scan_csv with the clock given, so that name collisions can be arranged.
std::expected<std::filesystem::path, IoError> write_scan_csv_at(const OutputConfig& output,
                                                                std::span<const Sample> samples,
                                                                const Clock& now);

}  // namespace csv_detail

}  // namespace vireo
