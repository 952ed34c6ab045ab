#include "platform/file_writes.h"
#include "tests/test_support.h"

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

namespace {

// A replacement that fails part-way must leave the old file whole and no
// temporary behind, and say which step failed and why; one that succeeds
// must leave exactly the new bytes.
TEST(ReplaceFile, KeepsTheOldFileWholeUnlessEveryStepSucceeds) {
    TempDir dir;
    const std::string path = (dir.Path() / "out.gpx").string();
    const std::string temp = path + ".part";
    std::ofstream(path) << "old";

    {
        FileSizeLimit full(4);
        errno = 0;
        EXPECT_EQ(ReplaceFile(path, temp, "longer than four bytes"), ReplaceResult::NotWritten);
        EXPECT_EQ(errno, EFBIG);
    }
    EXPECT_EQ(ReadFileBytes(path), "old");
    EXPECT_FALSE(std::filesystem::exists(temp));

    const std::string folder = (dir.Path() / "folder").string();
    std::filesystem::create_directories(folder + "/inside");
    errno = 0;
    EXPECT_EQ(ReplaceFile(folder, temp, "new"), ReplaceResult::NotRenamed);
    EXPECT_NE(errno, 0);
    EXPECT_TRUE(std::filesystem::is_directory(folder + "/inside"));
    EXPECT_FALSE(std::filesystem::exists(temp));

    EXPECT_EQ(ReplaceFile(path, temp, std::string(100000, 'x')), ReplaceResult::Replaced);
    EXPECT_EQ(ReadFileBytes(path), std::string(100000, 'x'));
    EXPECT_FALSE(std::filesystem::exists(temp));
}

} // namespace
