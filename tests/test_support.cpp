#include "tests/test_support.h"

#include <fstream>
#include <iterator>

std::filesystem::path TestDataDir() {
    std::filesystem::path dir = OSTREL_TESTDATA;
    std::error_code ec;
    if (!std::filesystem::is_directory(dir, ec))
        return {};
    return dir;
}

std::string ReadFileBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}
