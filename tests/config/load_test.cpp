#include "config/load.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include <gtest/gtest.h>

#include "config/typed_reader.hpp"
#include "config_fixtures.hpp"

namespace vireo {
namespace {

using fixtures::expected_defaults;
using fixtures::TempDir;
using fixtures::write_file;

TEST(ResolveConfigPath, TakesTheVariableUnchangedWhenSet) {
    fixtures::EnvironmentVariable variable("VIREO_CONFIG");
    variable.unset();
    EXPECT_EQ(resolve_config_path(), "config.toml");
    variable.set(" /tmp/my config.toml ");
    EXPECT_EQ(resolve_config_path(), " /tmp/my config.toml ");
    variable.set("");
    EXPECT_EQ(resolve_config_path(), "");
    variable.set("\xff.toml");
    EXPECT_EQ(resolve_config_path().native(), "\xff.toml");
}

// Loads and returns the outcome together with what went to standard error.
struct Loaded {
    std::expected<Config, ConfigError> config;
    std::string stderr_text;
};

Loaded load(const std::filesystem::path& path) {
    ::testing::internal::CaptureStderr();
    auto config = load_config(path);
    return {std::move(config), ::testing::internal::GetCapturedStderr()};
}

class LoadConfig : public ::testing::Test {
  protected:
    TempDir dir;
    fixtures::CurrentDirectory cwd{dir.path()};
};

TEST_F(LoadConfig, MissingFileGivesTheDefaultsSilently) {
    for (const char* path : {"config.toml", "", "missing/config.toml"}) {
        SCOPED_TRACE(path);
        const auto loaded = load(path);
        ASSERT_TRUE(loaded.config);
        EXPECT_EQ(*loaded.config, expected_defaults());
        EXPECT_EQ(loaded.stderr_text, "");
    }
}

TEST_F(LoadConfig, EmptyFileGivesTheDefaults) {
    write_file("config.toml", "");
    const auto loaded = load("config.toml");
    ASSERT_TRUE(loaded.config);
    EXPECT_EQ(*loaded.config, expected_defaults());
}

TEST_F(LoadConfig, PartialFileKeepsEveryOtherDefault) {
    write_file("config.toml", "[scan]\nmax_repeat = 5\n");
    const auto loaded = load("config.toml");
    ASSERT_TRUE(loaded.config);
    Config expected = expected_defaults();
    expected.scan.max_repeat = 5;
    EXPECT_EQ(*loaded.config, expected);
}

TEST_F(LoadConfig, ReplacesListsWholeAndValidatesTheResult) {
    write_file("config.toml", "[serial]\nbaudrates = [9600]\n");
    const auto refused = load("config.toml");
    ASSERT_FALSE(refused.config);
    EXPECT_EQ(refused.stderr_text,
              "Cannot load config.toml: invalid configuration: baudrate must be in "
              "serial.baudrates\n");

    write_file("config.toml", "baudrate = 9600\n[serial]\nbaudrates = [9600]\n");
    const auto loaded = load("config.toml");
    ASSERT_TRUE(loaded.config) << loaded.stderr_text;
    EXPECT_EQ(loaded.config->serial.baudrates, std::vector<std::uint32_t>{9600});
    EXPECT_EQ(loaded.stderr_text, "");
}

TEST_F(LoadConfig, Failures) {
    struct Case {
        std::string_view content;
        std::string_view stderr_text;
    };
    const Case cases[] = {
        {"extra = 1\n",
         "Cannot load config.toml: invalid configuration: unknown field `extra`, expected one of "
         "`port`, `baudrate`, `start_frequency`, `stop_frequency`, `points`, `repeat`, "
         "`connection`, `serial`, `scan`, `ui`, `output`, `logging`\n\n"},
        {"serial = 5\n",
         "Cannot load config.toml: invalid configuration: invalid type: integer `5`, expected "
         "struct SerialConfig\nin `serial`\n\n"},
        {"port = \"a\xff\"\n",
         "Cannot load config.toml: configuration I/O: stream did not contain valid UTF-8\n"},
        {"\xff",
         "Cannot load config.toml: configuration I/O: stream did not contain valid UTF-8\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.content);
        write_file("config.toml", c.content);
        const auto loaded = load("config.toml");
        ASSERT_FALSE(loaded.config);
        EXPECT_EQ(loaded.stderr_text, c.stderr_text);
    }
}

TEST_F(LoadConfig, InvalidUtf8IsAnIoErrorOfTheInvalidDataKind) {
    write_file("config.toml", "port = \"\xff\"\n");
    const auto loaded = load("config.toml");
    ASSERT_FALSE(loaded.config);
    const auto* io = std::get_if<ConfigError::Io>(&loaded.config.error().value());
    ASSERT_NE(io, nullptr);
    EXPECT_EQ(io->error.kind(), IoErrorKind::InvalidData);
}

TEST_F(LoadConfig, SyntaxErrorHidesEveryOtherFault) {
    write_file("config.toml", "baudrate = -1\nport = \n");
    const auto loaded = load("config.toml");
    ASSERT_FALSE(loaded.config);
    ASSERT_TRUE(std::holds_alternative<ConfigError::Parse>(loaded.config.error().value()));
    EXPECT_TRUE(loaded.stderr_text.starts_with(
        "Cannot load config.toml: invalid configuration: TOML parse error at line 2, column "))
        << loaded.stderr_text;
}

// Each part of a dotted key was one level of recursion in the parser: this size overflowed the
// stack instead of failing the load.
TEST_F(LoadConfig, AVeryDeepKeyIsOneParseError) {
    std::string key = "a";
    for (int i = 1; i < 35'000; ++i) {
        key += ".a";
    }
    write_file("config.toml", "[" + key + "]\n");
    const auto loaded = load("config.toml");
    ASSERT_FALSE(loaded.config);
    ASSERT_TRUE(std::holds_alternative<ConfigError::Parse>(loaded.config.error().value()));
    EXPECT_TRUE(loaded.stderr_text.starts_with(
        "Cannot load config.toml: invalid configuration: TOML parse error at line 1, column 1\n"))
        << loaded.stderr_text.substr(0, 200);
    EXPECT_TRUE(loaded.stderr_text.ends_with("^\nnested deeper than 64 levels\n\n"));
}

TEST_F(LoadConfig, DirectoryIsAnIoError) {
    const auto loaded = load(dir.path());
    ASSERT_FALSE(loaded.config);
    const auto* io = std::get_if<ConfigError::Io>(&loaded.config.error().value());
    ASSERT_NE(io, nullptr);
    EXPECT_EQ(display(io->error), "Is a directory (os error 21)");
    EXPECT_EQ(loaded.stderr_text, "Cannot load " + dir.path().string() +
                                      ": configuration I/O: Is a directory (os error 21)\n");
}

TEST_F(LoadConfig, PathThroughAFileIsAnIoError) {
    write_file("plain", "");
    const auto loaded = load("plain/config.toml");
    ASSERT_FALSE(loaded.config);
    EXPECT_EQ(loaded.stderr_text,
              "Cannot load plain/config.toml: configuration I/O: Not a directory (os error 20)\n");
}

TEST_F(LoadConfig, ShowsAPathThatIsNotUnicodeLossily) {
    std::filesystem::create_directory("d\xff");
    const auto loaded = load("d\xff");
    ASSERT_FALSE(loaded.config);
    EXPECT_TRUE(loaded.stderr_text.starts_with("Cannot load d\uFFFD: ")) << loaded.stderr_text;
}

TEST_F(LoadConfig, LeavesTheFileAsItWas) {
    const std::string content = "# mine\nbaudrate =   9600\n";
    write_file("config.toml", content);
    const auto before = std::filesystem::last_write_time("config.toml");
    (void)load("config.toml");
    EXPECT_EQ(fixtures::read_file("config.toml"), content);
    EXPECT_EQ(std::filesystem::last_write_time("config.toml"), before);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
}

// Points standard error at another descriptor for the test, and back afterwards.
class RedirectedStderr {
  public:
    explicit RedirectedStderr(int fd) : saved_(::dup(STDERR_FILENO)) {
        std::fflush(stderr);
        ::dup2(fd, STDERR_FILENO);
    }
    ~RedirectedStderr() {
        ::dup2(saved_, STDERR_FILENO);
        ::close(saved_);
        std::clearerr(stderr);
    }
    RedirectedStderr(const RedirectedStderr&) = delete;
    RedirectedStderr& operator=(const RedirectedStderr&) = delete;

  private:
    int saved_;
};

TEST_F(LoadConfig, ReturnsTheErrorWhenStandardErrorCannotBeWritten) {
    const int full = ::open("/dev/full", O_WRONLY | O_CLOEXEC);
    if (full < 0) {
        GTEST_SKIP() << "no /dev/full";
    }
    write_file("config.toml", "extra = 1\n");
    std::expected<Config, ConfigError> loaded = expected_defaults();
    {
        RedirectedStderr redirected(full);
        loaded = load_config("config.toml");
    }
    ::close(full);
    ASSERT_FALSE(loaded);
    EXPECT_TRUE(std::holds_alternative<ConfigError::Parse>(loaded.error().value()));
}

TEST(ParseWithDefaults, ReportsTheFirstFailingStep) {
    const auto parsed = parse_with_defaults("[scan]\nzero_offset = 2048\n");
    ASSERT_FALSE(parsed);
    EXPECT_EQ(display(parsed.error()),
              "invalid configuration: scan.zero_offset must fit the 16-bit fixed-point encoding "
              "(0..=2047)");

    const auto unread = parse_with_defaults("[scan]\nzero_offset = 70000\nmax_repeat = 0\n");
    ASSERT_FALSE(unread);
    EXPECT_EQ(display(unread.error()),
              "invalid configuration: invalid value: integer `70000`, expected u16\n"
              "in `scan.zero_offset`\n");
}

toml::table parse(std::string_view text) {
    auto table = parse_toml(text);
    EXPECT_TRUE(table) << text;
    return table ? std::move(*table) : toml::table{};
}

TEST(MergeValues, MergesTablesKeyByKeyAndReplacesEverythingElse) {
    toml::table base = parse(R"(
        a = 1
        list = [1, 2, 3]
        plain = 5
        [section]
        x = 1
        y = 2
        [section.inner]
        z = 3
        [other]
        q = 1
    )");
    toml::table overlay = parse(R"(
        list = [9]
        plain = { now = "a table" }
        new = true
        other = "flat"
        [section]
        y = "two"
        added = 4
        [section.inner]
        w = 0
    )");
    merge_values(base, std::move(overlay));
    const toml::table expected = parse(R"(
        a = 1
        list = [9]
        plain = { now = "a table" }
        new = true
        other = "flat"
        [section]
        x = 1
        y = "two"
        added = 4
        [section.inner]
        z = 3
        w = 0
    )");
    EXPECT_EQ(base, expected);
}

TEST(MergeValues, KeysAreComparedExactly) {
    toml::table base = parse("port = \"\"");
    merge_values(base, parse("Port = \"COM3\""));
    EXPECT_EQ(base, parse("port = \"\"\nPort = \"COM3\""));
}

}  // namespace
}  // namespace vireo
