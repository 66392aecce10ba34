#include "acquisition/csv_output.hpp"

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <iterator>
#include <regex>
#include <sstream>
#include <vector>

#include <fmt/format.h>
#include <gtest/gtest.h>

#include "platform/file.hpp"

namespace vireo {
namespace {

namespace fs = std::filesystem;
using std::chrono::system_clock;

std::string read_file(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void write_file(const fs::path& path, std::string_view text) {
    std::ofstream(path, std::ios::binary) << text;
}

std::vector<fs::path> files_in(const fs::path& directory) {
    std::vector<fs::path> names;
    for (const auto& entry : fs::directory_iterator(directory)) {
        names.push_back(entry.path().filename());
    }
    return names;
}

// Run twice: with the file written unnamed and named at the end, and as on a file system that
// has no unnamed files, where it is created under its name and deleted on failure.
class CsvOutputTest : public ::testing::TestWithParam<bool> {
  protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "vireo-csv-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
        platform::set_file_faults_for_testing({.refuse_unnamed = !unnamed()});
    }
    void TearDown() override {
        platform::set_file_faults_for_testing({});
        fs::remove_all(dir_);
    }

    static bool unnamed() { return GetParam(); }

    OutputConfig output(bool header = false) const { return {dir_, "scan", header}; }

    // One fixed moment, so the names of a test are known in advance.
    static system_clock::time_point fixed_now() {
        return system_clock::time_point(std::chrono::microseconds(1'700'000'000'123'456));
    }
    static std::string name(int n) {
        return fmt::format("scan_{}_{}.csv", csv_detail::scan_timestamp(fixed_now()), n);
    }
    std::expected<fs::path, IoError> write_fixed(std::span<const Sample> samples,
                                                 bool header = false) const {
        return csv_detail::write_scan_csv_at(output(header), samples, fixed_now);
    }

    fs::path dir_;
};

TEST_P(CsvOutputTest, WritesShortestPositionalNumbersWithOptionalHeader) {
    const std::vector<Sample> samples = {
        {100, -120}, {240.5, -87.25}, {240, -96.75}, {0.1 + 0.2, 433.92}, {0.1, -0.0}, {1e21, 1e-7},
    };
    const std::string rows =
        "100,-120\n240.5,-87.25\n240,-96.75\n0.30000000000000004,433.92\n0.1,0\n"
        "1000000000000000000000,0.0000001\n";
    struct Case {
        bool header;
        std::string text;
    };
    const Case cases[] = {{false, rows}, {true, "frequency_MHz,level_dBm\n" + rows}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.header);
        const auto path = write_fixed(samples, c.header);
        ASSERT_TRUE(path) << display(path.error());
        EXPECT_EQ(*path, dir_ / name(0));
        EXPECT_EQ(read_file(*path), c.text);
        fs::remove(*path);
    }
}

TEST_P(CsvOutputTest, TimestampIsLocalTimeWithTruncatedMicroseconds) {
    ::setenv("TZ", "UTC", 1);
    ::tzset();
    // 2024-03-05 07:08:09 UTC
    const auto second = system_clock::time_point(std::chrono::seconds(1709622489));
    EXPECT_EQ(csv_detail::scan_timestamp(second + std::chrono::nanoseconds(123'456'999)),
              "20240305 07_08_09_123456");
    EXPECT_EQ(csv_detail::scan_timestamp(second + std::chrono::microseconds(42)),
              "20240305 07_08_09_000042");
}

TEST_P(CsvOutputTest, TakesTheNextNumberWhenANameIsTaken) {
    write_file(dir_ / name(0), "earlier run\n");
    const Sample samples[] = {{1, 2}, {3, 4}};
    const auto path = write_fixed(samples);
    ASSERT_TRUE(path) << display(path.error());
    EXPECT_EQ(*path, dir_ / name(1));
    EXPECT_EQ(read_file(*path), "1,2\n3,4\n");
    EXPECT_EQ(read_file(dir_ / name(0)), "earlier run\n");
}

TEST_P(CsvOutputTest, FailsWhenAllHundredNamesAreTaken) {
    for (int n = 0; n < 100; ++n) {
        write_file(dir_ / name(n), fmt::format("{}\n", n));
    }
    const Sample samples[] = {{1, 2}, {3, 4}};
    const auto path = write_fixed(samples);
    ASSERT_FALSE(path);
    EXPECT_EQ(path.error().kind(), IoErrorKind::AlreadyExists);
    EXPECT_EQ(display(path.error()), "could not allocate a unique scan filename");
    EXPECT_EQ(files_in(dir_).size(), 100u);
    for (int n = 0; n < 100; ++n) {
        EXPECT_EQ(read_file(dir_ / name(n)), fmt::format("{}\n", n));
    }
}

TEST_P(CsvOutputTest, CreatesANestedDirectoryAndNamesTheFileAfterTheLocalTime) {
    OutputConfig config = output();
    config.directory = dir_ / "a" / "b" / "c";
    const Sample samples[] = {{1, 2}, {3, 4}};
    const auto path = write_scan_csv(config, samples);
    ASSERT_TRUE(path) << display(path.error());
    EXPECT_EQ(path->parent_path(), config.directory);
    EXPECT_TRUE(std::regex_match(path->filename().string(),
                                 std::regex(R"(scan_\d{8} \d{2}_\d{2}_\d{2}_\d{6}_0\.csv)")))
        << *path;
    EXPECT_EQ(read_file(*path), "1,2\n3,4\n");
}

TEST_P(CsvOutputTest, ReportsADirectoryThatCannotBeCreated) {
    write_file(dir_ / "plain", "");
    OutputConfig config = output();
    config.directory = dir_ / "plain" / "sub";
    const Sample samples[] = {{1, 2}, {3, 4}};
    const auto path = write_scan_csv(config, samples);
    ASSERT_FALSE(path);
    EXPECT_EQ(path.error().kind(), IoErrorKind::NotADirectory);
    EXPECT_EQ(files_in(dir_), std::vector<fs::path>{"plain"});
}

// Both ways of creating the file give it the same permissions as any new file: read and write
// for all, less the umask.
TEST_P(CsvOutputTest, TheFileHasTheModeOfANewFile) {
    const Sample samples[] = {{1, 2}};
    for (const ::mode_t mask : {::mode_t{022}, ::mode_t{077}, ::mode_t{0}}) {
        SCOPED_TRACE(mask);
        const ::mode_t previous = ::umask(mask);
        const auto path = write_scan_csv(output(), samples);
        ::umask(previous);
        ASSERT_TRUE(path) << display(path.error());
        struct stat status {};
        ASSERT_EQ(::stat(path->c_str(), &status), 0);
        EXPECT_EQ(status.st_mode & 0777, 0666 & ~mask);
        fs::remove(*path);
    }
}

// Where naming the unnamed file is refused (no /proc, no privilege for the other way), the
// samples go into a file created under its name: the same candidates, taken ones skipped.
TEST_P(CsvOutputTest, ANameRefusedToTheUnnamedFileIsCreatedUnderItInstead) {
    if (!unnamed()) {
        GTEST_SKIP() << "only an unnamed file is named afterwards";
    }
    write_file(dir_ / name(0), "earlier run\n");
    const Sample samples[] = {{1, 2}, {3, 4}};
    for (const int error : {ENOENT, EPERM}) {
        SCOPED_TRACE(error);
        platform::set_file_faults_for_testing({.link_error = error});
        const auto path = write_fixed(samples, true);
        ASSERT_TRUE(path) << display(path.error());
        EXPECT_EQ(*path, dir_ / name(1));
        EXPECT_EQ(read_file(*path), "frequency_MHz,level_dBm\n1,2\n3,4\n");
        EXPECT_EQ(read_file(dir_ / name(0)), "earlier run\n");
        EXPECT_EQ(files_in(dir_).size(), 2u);
        fs::remove(*path);
    }
}

// Root ignores permissions, so writes are made to fail by a file-size limit in a child.
TEST_P(CsvOutputTest, AWriteFailurePartWayLeavesNoFile) {
    const std::vector<Sample> samples(10'000, Sample{433.92, -96.75});
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        const rlimit limit{4096, 4096};
        ::signal(SIGXFSZ, SIG_IGN);
        if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) {
            ::_exit(3);
        }
        const auto path = write_fixed(samples);
        ::_exit(path ? 1 : path.error().kind() == IoErrorKind::FileTooLarge ? 0 : 2);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_TRUE(files_in(dir_).empty());
}

// The last block goes out only at the end, and the sync after it: their failures must not leave
// a file that looks complete.
TEST_P(CsvOutputTest, AFailureOfTheLastWriteOrOfTheSyncLeavesNoFile) {
    // About 9 kB: the first block fits under the limit, the last one crosses it.
    const std::vector<Sample> samples(640, Sample{433.92, -96.75});
    struct Case {
        const char* name;
        rlim_t size_limit;
        int sync_error;
        IoErrorKind kind;
    };
    const Case cases[] = {
        {"last write", 8192, 0, IoErrorKind::FileTooLarge},
        {"sync", RLIM_INFINITY, EIO, IoErrorKind::Uncategorized},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            const rlimit limit{c.size_limit, c.size_limit};
            ::signal(SIGXFSZ, SIG_IGN);
            if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) {
                ::_exit(3);
            }
            platform::set_file_faults_for_testing(
                {.refuse_unnamed = !unnamed(), .sync_error = c.sync_error});
            const auto path = write_fixed(samples);
            ::_exit(path ? 1 : path.error().kind() == c.kind ? 0 : 2);
        }
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), 0);
        EXPECT_TRUE(files_in(dir_).empty());
    }
}

// A run killed while the file is written (here by the size limit's own signal) cannot clean
// up; the file it was writing has no name yet, so nothing is left. Only where the file system
// has unnamed files.
TEST_P(CsvOutputTest, AProcessKilledWhileWritingLeavesNoFile) {
    if (!unnamed()) {
        GTEST_SKIP() << "a file created under its name stays when the process is killed";
    }
    const std::vector<Sample> samples(10'000, Sample{433.92, -96.75});
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        const rlimit limit{4096, 4096};
        ::signal(SIGXFSZ, SIG_DFL);
        if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) {
            ::_exit(3);
        }
        (void)write_fixed(samples);
        ::_exit(1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(WTERMSIG(status), SIGXFSZ);
    EXPECT_TRUE(files_in(dir_).empty());
}

INSTANTIATE_TEST_SUITE_P(Paths, CsvOutputTest, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return info.param ? "Unnamed" : "NamedAtOnce";
                         });

}  // namespace
}  // namespace vireo
