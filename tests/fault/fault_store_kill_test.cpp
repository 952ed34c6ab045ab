// The program killed at any moment while it saves calibrations: the store
// is always whole, either as it was before a save or as that save left it.

#include "gps/gps_receiver.h"
#include "map/calibration_store.h"
#include "tests/test_support.h"

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <random>
#include <set>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

const std::string kKey = "/maps/harbour.bmp";
const std::string kOthers = "/maps/coast.bmp,1,2,3,4,5,6,7,8\r\n"
                            "/maps/hills.bmp,9,9,9,9,9,9,9,9\r\n";
const CMapCalibration kA{true, true, 3000, 4000, 7000, 8000, 100, 200, 500, 600};
const CMapCalibration kB{true, true, -3001, -4001, -7001, -8001, 101, 201, 501, 601};
const std::string kLineA = kKey + ",100,200,3000,4000,500,600,7000,8000\r\n";
const std::string kLineB = kKey + ",101,201,-3001,-4001,501,601,-7001,-8001\r\n";

// Saves A and B by turns in `dir` until killed (or, should the kill never
// come, for ten seconds).
[[noreturn]] void SaveForever(const std::filesystem::path& dir) {
    if (chdir(dir.c_str()) != 0)
        _exit(2);
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    for (int n = 0; std::chrono::steady_clock::now() < end; ++n) {
        if (WriteStoredCalibration(kKey, n % 2 ? kB : kA).result != StoreSaveResult::Saved)
            _exit(3);
    }
    _exit(0);
}

TEST(StoreUnderKill, IsAlwaysOneWholeVersion) {
    char dirTemplate[] = "/tmp/ostrel-kill-XXXXXX";
    ASSERT_NE(mkdtemp(dirTemplate), nullptr);
    const std::filesystem::path dir = dirTemplate;
    const auto store = dir / kCalibrationStoreName;
    const std::string initial = kOthers + kKey + ",10,20,30,40,50,60,70,80\r\n";
    std::ofstream(store, std::ios::binary) << initial;
    const std::set<std::string> whole = {initial, kOthers + kLineA, kOthers + kLineB};

    const unsigned seed = std::random_device{}();
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> delayUs(0, 30000);

    std::set<std::string> seen;
    int midSave = 0; // kills that left the temporary file behind
    constexpr int kRounds = 150;
    for (int round = 0; round < kRounds; ++round) {
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0)
            SaveForever(dir);
        std::this_thread::sleep_for(std::chrono::microseconds(delayUs(random)));
        kill(child, SIGKILL);
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFSIGNALED(status)) << "round " << round << ": the saver stopped by itself, "
                                         << "exit status " << WEXITSTATUS(status);

        const std::string bytes = ReadFileBytes(store);
        ASSERT_TRUE(whole.count(bytes)) << "round " << round << ": the store reads\n" << bytes;
        // Every line reads back as a record of nine fields.
        std::vector<std::string> fields;
        for (size_t at = 0, end; (end = bytes.find("\r\n", at)) != std::string::npos;
             at = end + 2) {
            CGpsReceiver::SplitFields(bytes.substr(at, end - at), ",", fields);
            EXPECT_EQ(fields.size(), 9u) << "round " << round;
        }
        seen.insert(bytes);
        midSave += std::filesystem::exists(dir / kCalibrationTmpName);
    }
    std::filesystem::remove_all(dir);

    // The kills fell inside saves and between them, and saves got through.
    EXPECT_GT(midSave, 0);
    EXPECT_GE(seen.size(), 2u);
}

} // namespace
