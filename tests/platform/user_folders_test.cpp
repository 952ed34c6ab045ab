#include "platform/user_folders.h"
#include "tests/test_support.h"

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {

// Sets or unsets an environment variable for one scope.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) : m_name(name) {
        if (const char* old = std::getenv(name))
            m_old = old;
        value ? setenv(name, value, 1) : unsetenv(name);
    }
    ~ScopedEnv() { m_old ? setenv(m_name, m_old->c_str(), 1) : unsetenv(m_name); }

private:
    const char* m_name;
    std::optional<std::string> m_old;
};

// A relative XDG variable must be ignored (the base-directory rules say so),
// and no HOME must not put the user's files at the root of the disk.
TEST(UserFolder, TakesAnAbsoluteXdgFolderElseTheHomeFolder) {
    struct Case {
        const char* xdg;
        const char* home;
        const char* folder;
    } cases[] = {
        {"/x/cache", "/home/u", "/x/cache/ostrel/track"},
        {"x/cache", "/home/u", "/home/u/.local/share/ostrel/track"},
        {"", "/home/u", "/home/u/.local/share/ostrel/track"},
        {nullptr, "/home/u", "/home/u/.local/share/ostrel/track"},
        {nullptr, "", "/tmp/.local/share/ostrel/track"},
        {nullptr, nullptr, "/tmp/.local/share/ostrel/track"},
    };
    for (const Case& c : cases) {
        ScopedEnv xdg("XDG_DATA_HOME", c.xdg);
        ScopedEnv home("HOME", c.home);
        EXPECT_EQ(UserFolder("XDG_DATA_HOME", ".local/share", "ostrel/track"), c.folder)
            << "XDG_DATA_HOME " << (c.xdg ? c.xdg : "unset") << ", HOME "
            << (c.home ? c.home : "unset");
    }
}

// A folder that could not be made must not be reported as made, a file
// standing where it should be included.
TEST(UserFolder, MakeFoldersMakesEveryMissingLevelAndRefusesAFileInTheWay) {
    TempDir dir;
    const std::string nested = (dir.Path() / "a/b/c").string();
    ASSERT_TRUE(MakeFolders(nested, 0700));
    struct stat st {};
    ASSERT_EQ(stat(nested.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    EXPECT_TRUE(MakeFolders(nested, 0700)) << "a folder that is there already";

    const std::string file = (dir.Path() / "file").string();
    std::ofstream(file) << "x";
    errno = 0;
    EXPECT_FALSE(MakeFolders(file, 0700));
    EXPECT_EQ(errno, ENOTDIR);
    EXPECT_FALSE(MakeFolders(file + "/below", 0700));
}

} // namespace
