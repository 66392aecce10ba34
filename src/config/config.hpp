#pragma once
// The one record holding every setting, with its six sections. Built only by the typed reading
// of the configuration; every key is always present.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace vireo {

// The instrument family a run requires.
enum class DeviceModel { Auto, Basic, Ultra };
// Point-to-frequency mapping of the raw-frame decoder.
enum class FrequencyAxis { Inclusive, Firmware };
// Which link the worker opens.
enum class ConnectionBackend { Serial, Tcp };

// Section [connection]: which link the worker opens, and the TCP bridge's address.
struct ConnectionConfig {
    ConnectionBackend backend;
    std::string tcp_address;
    std::uint64_t tcp_timeout_ms;

    friend bool operator==(const ConnectionConfig&, const ConnectionConfig&) = default;
};

// Section [serial]: timing of the shell exchange and the selectable lists.
struct SerialConfig {
    std::uint64_t timeout_ms;
    std::uint64_t command_delay_ms;
    std::uint64_t settle_delay_ms;
    std::uint64_t scan_delay_ms;
    std::size_t max_response_bytes;
    std::vector<std::uint32_t> baudrates;
    std::vector<std::string> preferred_ports;

    friend bool operator==(const SerialConfig&, const SerialConfig&) = default;
};

// Section [scan]: the instrument profile and the bounds of the sweep fields.
struct ScanConfig {
    DeviceModel device_model;
    bool auto_zero_offset;
    std::uint16_t zero_offset;
    std::size_t frequency_step_mhz;
    std::size_t points_step;
    std::size_t min_points;
    std::size_t max_points;
    std::size_t max_repeat;
    FrequencyAxis frequency_axis;
    bool legacy_pre_scan;

    friend bool operator==(const ScanConfig&, const ScanConfig&) = default;
};

// Section [ui]: the interface loop and the chart's level axis.
struct UiConfig {
    std::uint64_t poll_interval_ms;
    double chart_min_dbm;
    double chart_max_dbm;

    friend bool operator==(const UiConfig&, const UiConfig&) = default;
};

// Section [output]: where and how CSV files are written.
struct OutputConfig {
    std::filesystem::path directory;
    std::string filename_prefix;
    bool include_header;

    friend bool operator==(const OutputConfig&, const OutputConfig&) = default;
};

// Section [logging]: the log filter and the log file's directory.
struct LoggingConfig {
    std::string filter;
    std::filesystem::path directory;

    friend bool operator==(const LoggingConfig&, const LoggingConfig&) = default;
};

// Every setting: the six values picked in the interface, then the six sections.
struct Config {
    std::string port;
    std::uint32_t baudrate;
    std::size_t start_frequency;  // whole MHz
    std::size_t stop_frequency;   // whole MHz
    std::size_t points;
    std::size_t repeat;
    ConnectionConfig connection;
    SerialConfig serial;
    ScanConfig scan;
    UiConfig ui;
    OutputConfig output;
    LoggingConfig logging;

    friend bool operator==(const Config&, const Config&) = default;
};

}  // namespace vireo
