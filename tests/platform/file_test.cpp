#include "platform/file.hpp"

#include <stdlib.h>

#include <filesystem>
#include <string>

#include <gtest/gtest.h>

namespace vireo::platform {
namespace {

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

}  // namespace
}  // namespace vireo::platform
