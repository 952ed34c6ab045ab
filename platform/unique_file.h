#pragma once

#include <cstdio>
#include <memory>

// Owns one stdio stream and closes it when it goes.
struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using UniqueFile = std::unique_ptr<std::FILE, FileCloser>;

// `path` opened with fopen's `mode`; empty with errno set when it cannot be.
[[nodiscard]] inline UniqueFile OpenFile(const char* path, const char* mode) {
    return UniqueFile(std::fopen(path, mode));
}
