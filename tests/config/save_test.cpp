#include "config/save.hpp"

#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cmath>
#include <functional>
#include <limits>
#include <set>
#include <string>

#include <fmt/format.h>
#include <gtest/gtest.h>

#include "config/load.hpp"
#include "config/typed_reader.hpp"
#include "config_fixtures.hpp"

namespace vireo {
namespace {

using fixtures::expected_defaults;
using fixtures::read_file;
using fixtures::TempDir;
using fixtures::write_file;

constexpr std::string_view SAVED_DEFAULTS = R"(port = "COM3"
baudrate = 115200
start_frequency = 240
stop_frequency = 800
points = 10001
repeat = 1

[connection]
backend = "serial"
tcp_address = "127.0.0.1:7355"
tcp_timeout_ms = 3000

[serial]
timeout_ms = 3000
command_delay_ms = 20
settle_delay_ms = 200
scan_delay_ms = 2000
max_response_bytes = 65536
baudrates = [
    19200,
    38400,
    57600,
    115200,
    230400,
    460800,
    921600,
    1843200,
    2000000,
    3000000,
]
preferred_ports = [
    "/dev/ttyACM0",
    "COM3",
    "COM5",
    "/dev/ttyS16",
]

[scan]
device_model = "auto"
auto_zero_offset = true
zero_offset = 128
frequency_step_mhz = 10
points_step = 100
min_points = 101
max_points = 1000001
max_repeat = 1000
frequency_axis = "firmware"
legacy_pre_scan = true

[ui]
poll_interval_ms = 16
chart_min_dbm = -128.0
chart_max_dbm = 0.0

[output]
directory = "."
filename_prefix = "scan"
include_header = false

[logging]
filter = "info"
directory = "."
)";

std::set<std::string> names_in(const std::filesystem::path& dir) {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        names.insert(entry.path().filename().string());
    }
    return names;
}

std::string temp_name(std::uint64_t n) {
    return fmt::format(".config.toml.{}.{}.tmp", ::getpid(), n);
}

std::expected<Config, ConfigError> load_quietly(const std::filesystem::path& path) {
    ::testing::internal::CaptureStderr();
    auto config = load_config(path);
    const std::string printed = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(printed, "");
    return config;
}

TEST(ConfigToToml, WritesEveryKeyInDeclaredOrderWithoutComments) {
    Config config = expected_defaults();
    config.port = "COM3";
    const auto text = config_to_toml(config);
    ASSERT_TRUE(text) << display(text.error());
    EXPECT_EQ(*text, SAVED_DEFAULTS);
}

TEST(ConfigToToml, ListsOfFewerThanTwoItemsStayOnTheKeyLine) {
    Config config = expected_defaults();
    config.serial.baudrates = {9600};
    config.serial.preferred_ports = {};
    auto text = config_to_toml(config);
    ASSERT_TRUE(text);
    EXPECT_NE(text->find("\nbaudrates = [9600]\npreferred_ports = []\n"), std::string::npos);

    config.serial.baudrates = {9600, 19200};
    text = config_to_toml(config);
    ASSERT_TRUE(text);
    EXPECT_NE(text->find("\nbaudrates = [\n    9600,\n    19200,\n]\npreferred_ports"),
              std::string::npos);
}

TEST(ConfigToToml, WritesFloatsShortestWithADecimalPoint) {
    struct Case {
        double value;
        std::string_view text;
    };
    const double inf = std::numeric_limits<double>::infinity();
    const Case cases[] = {
        {-128.0, "-128.0"},
        {0.0, "0.0"},
        {-0.0, "-0.0"},
        {0.1, "0.1"},
        {-12.75, "-12.75"},
        {1e300, "1.0e+300"},
        {1.5e-300, "1.5e-300"},
        {5e-324, "5.0e-324"},
        {inf, "inf"},
        {-inf, "-inf"},
        {std::numeric_limits<double>::quiet_NaN(), "nan"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        Config config = expected_defaults();
        config.ui.chart_min_dbm = c.value;
        const auto text = config_to_toml(config);
        ASSERT_TRUE(text);
        EXPECT_NE(text->find(fmt::format("\nchart_min_dbm = {}\n", c.text)), std::string::npos);

        const auto back = read_config_document(*text);
        ASSERT_TRUE(back) << display(back.error());
        if (std::isnan(c.value)) {
            EXPECT_TRUE(std::isnan(back->ui.chart_min_dbm));
        } else {
            EXPECT_EQ(back->ui.chart_min_dbm, c.value);
            EXPECT_EQ(std::signbit(back->ui.chart_min_dbm), std::signbit(c.value));
        }
    }
}

TEST(ConfigToToml, RefusesWhatTomlCannotHold) {
    Config config = expected_defaults();
    config.output.directory = "out\xff";
    EXPECT_EQ(config_to_toml(config).error().message, "path contains invalid UTF-8 characters");

    config = expected_defaults();
    config.port = "COM\xff";
    EXPECT_EQ(config_to_toml(config).error().message, "string contains invalid UTF-8 characters");

    config = expected_defaults();
    config.connection.tcp_timeout_ms = std::numeric_limits<std::uint64_t>::max();
    EXPECT_EQ(config_to_toml(config).error().message, "out-of-range value for u64 type");
}

class SaveConfig : public ::testing::Test {
  protected:
    TempDir dir;
    std::filesystem::path target = dir / "config.toml";
};

TEST_F(SaveConfig, RoundTripsThroughTheFile) {
    const double max = std::numeric_limits<double>::max();
    const std::function<void(Config&)> changes[] = {
        [](Config& c) { c.port = "COM3"; },
        [](Config& c) {
            c.port = "quote\" backslash\\ tab\t newline\n cr\r bell\x07 del\x7f nul" +
                     std::string(1, '\0') + " ünïcødé ✓";
            c.logging.filter = "info, vireo::scan=debug/\"x\\d+\"";
            c.output.directory = "dir with spaces/ü";
            c.logging.directory = "C:\\logs";
        },
        [](Config& c) {
            c.baudrate = 9600;
            c.serial.baudrates = {9600};
            c.serial.preferred_ports = {"/dev/ttyUSB0"};
        },
        [](Config& c) {
            c.serial.baudrates = {115200, 9600};
            c.serial.preferred_ports = {};
        },
        [max](Config& c) {
            c.ui.chart_min_dbm = -max;
            c.ui.chart_max_dbm = max;
        },
        [](Config& c) {
            c.ui.chart_min_dbm = -5e-324;
            c.ui.chart_max_dbm = 0.1 + 0.2;
        },
        [](Config& c) {
            c.start_frequency = 0;
            c.stop_frequency = 960;
            c.points = 1000001;
            c.repeat = 1000;
            c.connection = {ConnectionBackend::Tcp, "[fe80::1%2]:65535", 600000};
            c.scan = {DeviceModel::Ultra,       false, 2047, 960, 1000001, 2, 1000001, 1000,
                      FrequencyAxis::Inclusive, false};
            c.serial.timeout_ms = 1;
            c.serial.command_delay_ms = 0;
            c.serial.settle_delay_ms = 60000;
            c.serial.max_response_bytes = 16777216;
            c.ui.poll_interval_ms = 1000;
            c.output = {"out", "A-z_09", true};
        },
    };
    for (std::size_t i = 0; i < std::size(changes); ++i) {
        SCOPED_TRACE(i);
        Config config = expected_defaults();
        changes[i](config);
        const auto saved = save_config(config, target);
        ASSERT_TRUE(saved) << display(saved.error());
        const auto loaded = load_quietly(target);
        ASSERT_TRUE(loaded) << display(loaded.error()) << read_file(target);
        EXPECT_EQ(*loaded, config);
        EXPECT_EQ(names_in(dir.path()), std::set<std::string>{"config.toml"});
    }
}

TEST_F(SaveConfig, ReplacesTheWholeFile) {
    write_file(target, "# my notes\nbaudrate = 115200\n");
    Config config = expected_defaults();
    config.port = "COM3";
    ASSERT_TRUE(save_config(config, target));
    EXPECT_EQ(read_file(target), SAVED_DEFAULTS);
}

TEST_F(SaveConfig, CreatesTheFileInTheWorkingDirectory) {
    fixtures::CurrentDirectory cwd(dir.path());
    const std::uint64_t first = TEMP_FILE_COUNTER.load();
    ASSERT_TRUE(save_config(expected_defaults(), "config.toml"));
    EXPECT_EQ(TEMP_FILE_COUNTER.load(), first + 1);
    EXPECT_EQ(names_in(dir.path()), std::set<std::string>{"config.toml"});
}

TEST_F(SaveConfig, SkipsATemporaryNameThatExists) {
    const std::uint64_t next = TEMP_FILE_COUNTER.load();
    write_file(dir / temp_name(next), "someone else's");
    ASSERT_TRUE(save_config(expected_defaults(), target));
    EXPECT_EQ(TEMP_FILE_COUNTER.load(), next + 2);
    EXPECT_EQ(read_file(dir / temp_name(next)), "someone else's");
    EXPECT_EQ(names_in(dir.path()), (std::set<std::string>{"config.toml", temp_name(next)}));
}

TEST_F(SaveConfig, GivesUpAfterAHundredTakenNames) {
    const std::uint64_t next = TEMP_FILE_COUNTER.load();
    for (std::uint64_t n = next; n < next + 100; ++n) {
        write_file(dir / temp_name(n), "");
    }
    const auto saved = save_config(expected_defaults(), target);
    ASSERT_FALSE(saved);
    EXPECT_EQ(display(saved.error()),
              "configuration I/O: could not allocate a configuration temporary file");
    const auto& io = std::get<ConfigError::Io>(saved.error().value());
    EXPECT_EQ(io.error.kind(), IoErrorKind::AlreadyExists);
    EXPECT_EQ(TEMP_FILE_COUNTER.load(), next + 100);
    EXPECT_EQ(names_in(dir.path()).size(), 100u);
    EXPECT_FALSE(std::filesystem::exists(target));
}

TEST_F(SaveConfig, MissingDirectoryFailsAtTheTemporaryFile) {
    const auto saved = save_config(expected_defaults(), dir / "missing" / "config.toml");
    ASSERT_FALSE(saved);
    EXPECT_EQ(display(saved.error()), "configuration I/O: No such file or directory (os error 2)");
    EXPECT_TRUE(names_in(dir.path()).empty());
}

TEST_F(SaveConfig, FailedRenameLeavesNoTemporaryFileAndTheTargetAsItWas) {
    std::filesystem::create_directory(target);
    write_file(target / "inside", "kept");
    const auto saved = save_config(expected_defaults(), target);
    ASSERT_FALSE(saved);
    EXPECT_EQ(display(saved.error()), "configuration I/O: Is a directory (os error 21)");
    EXPECT_EQ(names_in(dir.path()), std::set<std::string>{"config.toml"});
    EXPECT_EQ(names_in(target), std::set<std::string>{"inside"});
    EXPECT_EQ(read_file(target / "inside"), "kept");
}

TEST_F(SaveConfig, FailedWriteLeavesNoTemporaryFileAndTheOldFileIntact) {
    write_file(target, "baudrate = 115200\n");
    // A file-size limit makes the write itself fail, with EFBIG instead of a signal.
    struct sigaction ignore = {}, previous_action = {};
    ignore.sa_handler = SIG_IGN;
    ASSERT_EQ(::sigaction(SIGXFSZ, &ignore, &previous_action), 0);
    rlimit previous_limit{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &previous_limit), 0);
    rlimit small = previous_limit;
    small.rlim_cur = 100;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);

    const auto saved = save_config(expected_defaults(), target);

    ::setrlimit(RLIMIT_FSIZE, &previous_limit);
    ::sigaction(SIGXFSZ, &previous_action, nullptr);
    ASSERT_FALSE(saved);
    EXPECT_EQ(display(saved.error()), "configuration I/O: File too large (os error 27)");
    EXPECT_EQ(read_file(target), "baudrate = 115200\n");
    EXPECT_EQ(names_in(dir.path()), std::set<std::string>{"config.toml"});
}

TEST_F(SaveConfig, PathWithoutAFileName) {
    for (const std::filesystem::path& path :
         {std::filesystem::path(""), dir / "..", dir.path() / "", std::filesystem::path("/")}) {
        SCOPED_TRACE(path);
        const auto saved = save_config(expected_defaults(), path);
        ASSERT_FALSE(saved);
        EXPECT_EQ(display(saved.error()), "configuration I/O: missing file name");
        EXPECT_EQ(std::get<ConfigError::Io>(saved.error().value()).error.kind(),
                  IoErrorKind::InvalidInput);
    }
    EXPECT_TRUE(names_in(dir.path()).empty());
}

TEST_F(SaveConfig, RefusedCandidateWritesNothing) {
    Config invalid = expected_defaults();
    invalid.baudrate = 9600;
    const auto refused = save_config(invalid, target);
    ASSERT_FALSE(refused);
    EXPECT_EQ(display(refused.error()),
              "invalid configuration: baudrate must be in serial.baudrates");

    Config unwritable = expected_defaults();
    unwritable.logging.directory = "logs\xff";
    const auto unserialized = save_config(unwritable, target);
    ASSERT_FALSE(unserialized);
    EXPECT_EQ(display(unserialized.error()),
              "cannot serialize configuration: path contains invalid UTF-8 characters");

    EXPECT_TRUE(names_in(dir.path()).empty());
}

}  // namespace
}  // namespace vireo
