#include "platform/file.hpp"

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include <gtest/gtest.h>

namespace vireo::platform {
namespace {

std::string read_file(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// A save ignores the result of the directory flush, so nothing else would notice if it never
// worked: test it on its own.
TEST(SyncDirectory, FlushesAnExistingDirectoryAndReportsAMissingOne) {
    std::string name = (std::filesystem::temp_directory_path() / "vireo-file-XXXXXX").string();
    ASSERT_NE(::mkdtemp(name.data()), nullptr);
    const std::filesystem::path dir = name;

    const auto synced = sync_directory(dir);
    EXPECT_TRUE(synced) << display(synced.error());

    const auto missing = sync_directory(dir / "missing");
    ASSERT_FALSE(missing);
    EXPECT_EQ(missing.error().kind(), IoErrorKind::NotFound);

    std::filesystem::remove_all(dir);
}

// The CSV output relies on both: nothing shows in the directory until the name is given, and a
// taken name is refused, never replaced.
TEST(UnnamedFile, IsInvisibleUntilLinkedAndNeverReplacesAName) {
    std::string name = (std::filesystem::temp_directory_path() / "vireo-file-XXXXXX").string();
    ASSERT_NE(::mkdtemp(name.data()), nullptr);
    const std::filesystem::path dir = name;
    std::ofstream(dir / "taken") << "earlier";

    auto file = File::create_unnamed(dir);
    if (!file && file.error().kind() == IoErrorKind::Unsupported) {
        std::filesystem::remove_all(dir);
        GTEST_SKIP() << "no unnamed files on this file system";
    }
    ASSERT_TRUE(file) << display(file.error());
    ASSERT_TRUE(file->write_all("rows\n"));
    ASSERT_TRUE(file->sync());
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), {}), 1);

    const auto taken = file->link_to(dir / "taken");
    ASSERT_FALSE(taken);
    EXPECT_EQ(taken.error().kind(), IoErrorKind::AlreadyExists);
    EXPECT_EQ(read_file(dir / "taken"), "earlier");

    const auto linked = file->link_to(dir / "result");
    EXPECT_TRUE(linked) << display(linked.error());
    ASSERT_TRUE(file->close());
    EXPECT_EQ(read_file(dir / "result"), "rows\n");

    // Where the file system has none, the caller is told so and can write under the name.
    set_file_faults_for_testing({.refuse_unnamed = true});
    const auto refused = File::create_unnamed(dir);
    set_file_faults_for_testing({});
    ASSERT_FALSE(refused);
    EXPECT_EQ(refused.error().kind(), IoErrorKind::Unsupported);

    std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace vireo::platform
