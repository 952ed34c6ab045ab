#pragma once

#include <filesystem>
#include <optional>
#include <string>

// The shared test data folder (receiver logs, bitmaps), or an empty path
// when it is not beside the repository.
std::filesystem::path TestDataDir();

// Reads a whole file as bytes; empty when it cannot be read.
std::string ReadFileBytes(const std::filesystem::path& path);

// A fresh directory under /tmp, removed with all it holds when this goes.
// With `enter` it is also the working directory meanwhile (the calibration
// store is opened by its bare name).
class TempDir {
public:
    explicit TempDir(bool enter = false);
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& Path() const { return m_dir; }

private:
    std::filesystem::path m_dir;
    std::filesystem::path m_previous; // empty unless entered
};

// While this lives, files may not grow past `bytes` [byte], and going past
// the limit is an error (EFBIG), as on a full quota, not a signal that ends
// the test.
class FileSizeLimit {
public:
    explicit FileSizeLimit(unsigned long long bytes);
    ~FileSizeLimit();
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    unsigned long long m_oldSoft = 0;
    void (*m_oldHandler)(int) = nullptr;
};

// Skips the current test when the shared data folder (or a subfolder of it) is absent.
#define OSTREL_REQUIRE_TESTDATA(sub)                                                               \
    do {                                                                                           \
        if (TestDataDir().empty() || !std::filesystem::exists(TestDataDir() / (sub)))              \
            GTEST_SKIP() << "shared test data not found: " << (sub);                               \
    } while (0)
