#pragma once
// Shared by the configuration tests: the defaults written out by hand (independent of the
// compiled-in document they are checked against), a temporary directory, and guards for the
// working directory and an environment variable.

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>

#include <gtest/gtest.h>

#include "config/config.hpp"

namespace vireo::fixtures {

inline Config expected_defaults() {
    Config c;
    c.port = "";
    c.baudrate = 115200;
    c.start_frequency = 240;
    c.stop_frequency = 800;
    c.points = 10001;
    c.repeat = 1;
    c.connection = {ConnectionBackend::Serial, "127.0.0.1:7355", 3000};
    c.serial = {3000,
                20,
                200,
                2000,
                65536,
                {19200, 38400, 57600, 115200, 230400, 460800, 921600, 1843200, 2000000, 3000000},
                {"/dev/ttyACM0", "COM3", "COM5", "/dev/ttyS16"}};
    c.scan = {DeviceModel::Auto,       true, 128, 10, 100, 101, 1000001, 1000,
              FrequencyAxis::Firmware, true};
    c.ui = {16, -128.0, 0.0};
    c.output = {".", "scan", false};
    c.logging = {"info", "."};
    return c;
}

// A fresh directory, removed with everything in it when the test ends.
class TempDir {
  public:
    TempDir() {
        std::string name =
            (std::filesystem::temp_directory_path() / "vireo-config-XXXXXX").string();
        if (::mkdtemp(name.data()) == nullptr) {
            ADD_FAILURE() << "mkdtemp failed";
        }
        path_ = name;
    }
    ~TempDir() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(std::string_view name) const { return path_ / name; }

  private:
    std::filesystem::path path_;
};

inline void write_file(const std::filesystem::path& path, std::string_view bytes) {
    std::ofstream out(path, std::ios::binary);
    out << bytes;
    ASSERT_TRUE(out.good()) << path;
}

inline std::string read_file(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Runs the test's body in another working directory.
class CurrentDirectory {
  public:
    explicit CurrentDirectory(const std::filesystem::path& path)
        : previous_(std::filesystem::current_path()) {
        std::filesystem::current_path(path);
    }
    ~CurrentDirectory() { std::filesystem::current_path(previous_); }
    CurrentDirectory(const CurrentDirectory&) = delete;
    CurrentDirectory& operator=(const CurrentDirectory&) = delete;

  private:
    std::filesystem::path previous_;
};

// Sets or clears an environment variable for the test, and restores it afterwards.
class EnvironmentVariable {
  public:
    explicit EnvironmentVariable(const char* name) : name_(name) {
        if (const char* value = ::getenv(name)) {
            previous_ = value;
        }
    }
    ~EnvironmentVariable() {
        if (previous_) {
            ::setenv(name_, previous_->c_str(), 1);
        } else {
            ::unsetenv(name_);
        }
    }
    EnvironmentVariable(const EnvironmentVariable&) = delete;
    EnvironmentVariable& operator=(const EnvironmentVariable&) = delete;

    void set(const std::string& value) { ::setenv(name_, value.c_str(), 1); }
    void unset() { ::unsetenv(name_); }

  private:
    const char* name_;
    std::optional<std::string> previous_;
};

}  // namespace vireo::fixtures
