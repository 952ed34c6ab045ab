#include "tests/test_support.h"

#include <csignal>
#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <sys/resource.h>

TempDir::TempDir(bool enter) {
    char pattern[] = "/tmp/ostrel-test-XXXXXX";
    if (!mkdtemp(pattern)) {
        ADD_FAILURE() << "cannot make a temporary directory";
        return;
    }
    m_dir = pattern;
    if (enter) {
        m_previous = std::filesystem::current_path();
        std::filesystem::current_path(m_dir);
    }
}

TempDir::~TempDir() {
    std::error_code ec;
    if (!m_previous.empty())
        std::filesystem::current_path(m_previous, ec);
    if (!m_dir.empty())
        std::filesystem::remove_all(m_dir, ec);
}

FileSizeLimit::FileSizeLimit(unsigned long long bytes) {
    rlimit limit{};
    getrlimit(RLIMIT_FSIZE, &limit);
    m_oldSoft = limit.rlim_cur;
    m_oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    limit.rlim_cur = rlim_t(bytes);
    setrlimit(RLIMIT_FSIZE, &limit);
}

FileSizeLimit::~FileSizeLimit() {
    rlimit limit{};
    getrlimit(RLIMIT_FSIZE, &limit);
    limit.rlim_cur = rlim_t(m_oldSoft);
    setrlimit(RLIMIT_FSIZE, &limit);
    std::signal(SIGXFSZ, m_oldHandler);
}

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
