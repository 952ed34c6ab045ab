#include "fuzz/fuzz_entries.h"
#include "tests/test_support.h"

#include <gtest/gtest.h>
#include <ostream>
#include <vector>

namespace {

struct Target {
    const char* name; // its folder under fuzz/corpus
    std::string (*entry)(const uint8_t*, size_t);
    std::vector<const char*> shared; // shared data folders that seed it too
};

// One row a line of fuzz/targets.txt.
const Target kTargets[] = {
#include "fuzz_targets.inc"
};

void PrintTo(const Target& target, std::ostream* os) {
    *os << target.name;
}

std::vector<Target> WithSharedData() {
    std::vector<Target> targets;
    for (const Target& target : kTargets)
        if (!target.shared.empty())
            targets.push_back(target);
    return targets;
}

std::string RunInput(const Target& target, const std::string& bytes) {
    return target.entry(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
}

// Every file of `dir` through the target; the number of files.
size_t Replay(const Target& target, const std::filesystem::path& dir) {
    size_t count = 0;
    for (const auto& file : std::filesystem::directory_iterator(dir)) {
        if (!file.is_regular_file())
            continue;
        EXPECT_EQ(RunInput(target, ReadFileBytes(file.path())), "") << file.path();
        ++count;
    }
    return count;
}

class FuzzCorpusReplay : public testing::TestWithParam<Target> {};

TEST_P(FuzzCorpusReplay, SeedsKeepEveryRule) {
    EXPECT_EQ(RunInput(GetParam(), ""), "") << "empty input";
    EXPECT_GT(Replay(GetParam(), std::filesystem::path(OSTREL_FUZZ_CORPUS) / GetParam().name), 0u);
}

class FuzzSharedDataReplay : public FuzzCorpusReplay {};

TEST_P(FuzzSharedDataReplay, KeepsEveryRule) {
    for (const char* sub : GetParam().shared) {
        OSTREL_REQUIRE_TESTDATA(sub);
        Replay(GetParam(), TestDataDir() / sub);
    }
}

auto TargetName = [](const auto& info) { return std::string(info.param.name); };
INSTANTIATE_TEST_SUITE_P(Targets, FuzzCorpusReplay, testing::ValuesIn(kTargets), TargetName);
INSTANTIATE_TEST_SUITE_P(Targets, FuzzSharedDataReplay, testing::ValuesIn(WithSharedData()),
                         TargetName);

} // namespace
