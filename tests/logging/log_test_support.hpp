#pragma once
// A temporary log directory and file helpers for the logging tests.

#include <stdlib.h>
#include <time.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

namespace vireo::logging::testing_support {

namespace fs = std::filesystem;

inline std::string read_file(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

inline std::vector<fs::path> files_in(const fs::path& directory) {
    std::vector<fs::path> names;
    for (const auto& entry : fs::directory_iterator(directory)) {
        names.push_back(entry.path().filename());
    }
    return names;
}

// Polls until the file holds `expected`, for at most ten seconds; returns what it last read.
inline std::string wait_for_content(const fs::path& path, const std::string& expected) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    std::string content = read_file(path);
    while (content != expected && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        content = read_file(path);
    }
    return content;
}

class LogDirTest : public ::testing::Test {
  protected:
    void SetUp() override {
        // File names carry local time; UTC makes the fixed clock's name known.
        ::setenv("TZ", "UTC", 1);
        ::tzset();
        std::string pattern = (fs::temp_directory_path() / "vireo-log-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
    }
    void TearDown() override { fs::remove_all(dir_); }

    // 2023-11-14 22:13:20 UTC
    static std::chrono::system_clock::time_point fixed_now() {
        return std::chrono::system_clock::time_point(std::chrono::seconds(1'700'000'000));
    }
    static constexpr std::string_view FIXED_STAMP = "2023-11-14_22-13-20";

    fs::path dir_;
};

}  // namespace vireo::logging::testing_support
