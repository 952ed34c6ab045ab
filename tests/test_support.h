#pragma once

#include <filesystem>
#include <string>

// The shared test data folder (receiver logs, bitmaps), or an empty path
// when it is not beside the repository.
std::filesystem::path TestDataDir();

// Reads a whole file as bytes; empty when it cannot be read.
std::string ReadFileBytes(const std::filesystem::path& path);

// Skips the current test when the shared data folder (or a subfolder of it) is absent.
#define OSTREL_REQUIRE_TESTDATA(sub)                                                           \
    do {                                                                                       \
        if (TestDataDir().empty() || !std::filesystem::exists(TestDataDir() / (sub)))          \
            GTEST_SKIP() << "shared test data not found: " << (sub);                           \
    } while (0)
