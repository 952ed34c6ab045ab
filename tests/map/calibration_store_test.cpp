#include "map/calibration_store.h"
#include "tests/test_support.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>

#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace std::string_literals;

namespace {

// Every test runs in a fresh working directory, since the store is opened by
// its bare name.
class CalibrationStoreTest : public ::testing::Test {
protected:
    static void Put(const char* name, const std::string& bytes) {
        std::ofstream(name, std::ios::binary) << bytes;
    }
    static std::string Store() { return ReadFileBytes(kCalibrationStoreName); }

    TempDir dir_{true};
};

// The worked example: point 1 at (120, 80) for 41460/173222, point 2 at
// (900, 700) for 45000/170000.
CMapCalibration City() {
    CMapCalibration c;
    c.m_nX1 = 120, c.m_nY1 = 80, c.m_nLon1 = 41460, c.m_nLat1 = 173222;
    c.m_nX2 = 900, c.m_nY2 = 700, c.m_nLon2 = 45000, c.m_nLat2 = 170000;
    return c;
}
const std::string kCity = "C:\\Maps\\city.bmp";
const std::string kCityLine = kCity + ",120,80,41460,173222,900,700,45000,170000\r\n";

// The pixel x of point 1 read back for `path`; -1 when nothing was read and
// the calibration was left untouched.
int32_t LoadedX1(const std::string& path) {
    CMapCalibration cal;
    cal.m_nX1 = -1;
    const bool read = ReadStoredCalibration(path, cal);
    if (read != (cal.m_bPoint1Set && cal.m_bPoint2Set) || (!read && cal.m_nX1 != -1))
        return -2;
    return cal.m_nX1;
}

TEST_F(CalibrationStoreTest, SaveWithoutStoreCreatesOneLineAndReadsBack) {
    Put(kCalibrationTmpName, "stale content of an interrupted save\r\n");
    const StoreSaveOutcome out = WriteStoredCalibration(kCity, City());
    EXPECT_EQ(out.result, StoreSaveResult::Saved);
    EXPECT_EQ(out.message, "");
    EXPECT_EQ(Store(), kCityLine);
    EXPECT_FALSE(fs::exists(kCalibrationTmpName));

    CMapCalibration cal;
    ASSERT_TRUE(ReadStoredCalibration(kCity, cal));
    const CMapCalibration city = City();
    EXPECT_TRUE(cal.m_bPoint1Set && cal.m_bPoint2Set);
    EXPECT_EQ(std::tie(cal.m_nX1, cal.m_nY1, cal.m_nLon1, cal.m_nLat1, cal.m_nX2, cal.m_nY2,
                       cal.m_nLon2, cal.m_nLat2),
              std::tie(city.m_nX1, city.m_nY1, city.m_nLon1, city.m_nLat1, city.m_nX2, city.m_nY2,
                       city.m_nLon2, city.m_nLat2));
}

TEST_F(CalibrationStoreTest, SaveReplacesAndMovesToEndKeepingOtherLinesVerbatim) {
    const std::string junk = "bin\0\xFF\x1A junk"s;
    Put(kCalibrationStoreName, "a.bmp,1,2,3,4,5,6,7,8\r\n" + kCity + ",9,9,9,9,9,9,9,9\r\n" + junk +
                                   "\r\n\r\nlf only\ncr\rinside\r\n" + kCity + ",eight,fields\n" +
                                   "no line end");
    ASSERT_EQ(WriteStoredCalibration(kCity, City()).result, StoreSaveResult::Saved);
    EXPECT_EQ(Store(), "a.bmp,1,2,3,4,5,6,7,8\r\n" + junk +
                           "\r\n\r\nlf only\r\ncr\rinside\r\nno line end\r\n" + kCityLine);
}

TEST_F(CalibrationStoreTest, LineBelongsOnlyToTheExactPathAtItsStart) {
    const std::string x = "C:\\Maps\\x.bmp";
    Put(kCalibrationStoreName, x + "2,2,0,0,0,0,0,0,0\r\n" + "other.bmp," + x +
                                   ",0,0,0,0,0,0,0\r\n" + "C:\\Maps\\X.bmp,3,0,0,0,0,0,0,0\r\n" +
                                   x + ",1,0,0,0,0,0,0,0\r\n");
    EXPECT_EQ(LoadedX1(x), 1);
    EXPECT_EQ(LoadedX1(x + "2"), 2);
    EXPECT_EQ(LoadedX1("C:\\Maps\\X.bmp"), 3); // letter case makes a different key
    EXPECT_EQ(LoadedX1("C:\\Maps"), -1);

    ASSERT_EQ(WriteStoredCalibration(x, City()).result, StoreSaveResult::Saved);
    EXPECT_EQ(Store(), x + "2,2,0,0,0,0,0,0,0\r\n" + "other.bmp," + x + ",0,0,0,0,0,0,0\r\n" +
                           "C:\\Maps\\X.bmp,3,0,0,0,0,0,0,0\r\n" + x +
                           ",120,80,41460,173222,900,700,45000,170000\r\n");
}

TEST_F(CalibrationStoreTest, PathWithCommaIsStoredButNotReadBack) {
    const std::string path = "C:\\a,b.bmp";
    ASSERT_EQ(WriteStoredCalibration(path, City()).result, StoreSaveResult::Saved);
    EXPECT_EQ(Store(), path + ",120,80,41460,173222,900,700,45000,170000\r\n");
    EXPECT_EQ(LoadedX1(path), -1);
}

TEST_F(CalibrationStoreTest, ReadingFieldsAndLines) {
    struct Case {
        std::string store;
        int32_t x1;
    };
    const std::string longLine(1 << 20, 'z');
    const Case cases[] = {
        {"m,1,2,,4,5,6,7,8\r\n", -1},                     // eight fields
        {"m,1,2,,4,5,6,7,8\r\nm,5,2,3,4,5,6,7,8\r\n", 5}, // first nine-field line wins
        {"m,6,2,3,4,5,6,7,8\r\nm,7,2,3,4,5,6,7,8\r\n", 6},
        {"m,12abc,0,0,0,0,0,0,8\r\r\n", 12},                  // junk after the digits
        {"m, +42,0,0,0,0,0,0,0", 42},                         // no final line end
        {"m,x,0,0,0,0,0,0,0\n", 0},                           // not a number
        {"m,99999999999,0,0,0,0,0,0,0\n", 2147483647},        // saturates
        {"m,-99999999999,0,0,0,0,0,0,0\n", -2147483647 - 1},  //
        {longLine + "\n\0\0\xFF\nm,3\0,0,0,0,0,0,0,0\n"s, 3}, // long, binary and NUL junk
        {"m,1,0,0,0,0,0,0,0\rm,2,0,0,0,0,0,0,0\r", -1},       // CR only: one long line
    };
    for (const Case& c : cases) {
        Put(kCalibrationStoreName, c.store);
        EXPECT_EQ(LoadedX1("m"), c.x1) << c.store.substr(0, 60);
    }
    fs::remove(kCalibrationStoreName);
    EXPECT_EQ(LoadedX1("m"), -1);
}

// Open descriptors of this process, to catch an error path that keeps one.
ptrdiff_t OpenFdCount() {
    return std::distance(fs::directory_iterator("/proc/self/fd"), {});
}

// Failures leave the previous store as it was, say why and keep no descriptor.
TEST_F(CalibrationStoreTest, FailuresKeepTheStore) {
    const std::string before = "a.bmp,1,2,3,4,5,6,7,8\r\n";
    const std::string cannotCreate = "Can not create calibration file \"CalibratedMaps.txt\"";
    const std::string cannotOpenTmp = "Can not open tmp file \"Tmp.txt\"";
    struct Case {
        const char* what;
        std::function<void()> setUp;
        StoreSaveResult result;
        std::string message;
    };
    const Case cases[] = {
        {"store is a directory", [] { fs::create_directory(kCalibrationStoreName); },
         StoreSaveResult::CannotCreateStore, cannotCreate},
        {"store is a FIFO", [] { mkfifo(kCalibrationStoreName, 0600); },
         StoreSaveResult::CannotCreateStore, cannotCreate},
        {"Tmp.txt is a directory",
         [&] { Put(kCalibrationStoreName, before), fs::create_directory(kCalibrationTmpName); },
         StoreSaveResult::CannotOpenTmp, cannotOpenTmp},
        {"Tmp.txt is a FIFO",
         [&] { Put(kCalibrationStoreName, before), mkfifo(kCalibrationTmpName, 0600); },
         StoreSaveResult::CannotOpenTmp, cannotOpenTmp},
        {"Tmp.txt is a device", // opens, then refused
         [&] {
             Put(kCalibrationStoreName, before);
             fs::create_symlink("/dev/null", kCalibrationTmpName);
         },
         StoreSaveResult::CannotOpenTmp, cannotOpenTmp},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove_all(kCalibrationStoreName);
        fs::remove_all(kCalibrationTmpName);
        c.setUp();
        const std::string store = fs::is_regular_file(kCalibrationStoreName) ? Store() : "";
        const ptrdiff_t fds = OpenFdCount();
        const StoreSaveOutcome out = WriteStoredCalibration(kCity, City());
        EXPECT_EQ(out.result, c.result);
        EXPECT_EQ(out.message, c.message);
        EXPECT_EQ(OpenFdCount(), fds) << "a failed save kept a descriptor";
        if (fs::is_regular_file(kCalibrationStoreName)) {
            EXPECT_EQ(Store(), store);
        }
        EXPECT_EQ(LoadedX1(kCity), -1);
    }
}

TEST_F(CalibrationStoreTest, DirectoryThatTakesNoFilesCannotGetAStore) {
    ASSERT_EQ(rmdir(dir_.Path().c_str()), 0); // still the working directory, but gone
    const StoreSaveOutcome out = WriteStoredCalibration(kCity, City());
    EXPECT_EQ(out.result, StoreSaveResult::CannotCreateStore);
    EXPECT_EQ(out.message, "Can not create calibration file \"CalibratedMaps.txt\"");
}

TEST_F(CalibrationStoreTest, WriteErrorInTmpLeavesTheStoreAsItWas) {
    const std::string before = "a.bmp,1,2,3,4,5,6,7,8\r\n";
    Put(kCalibrationStoreName, before);
    const StoreSaveOutcome out = [] {
        const FileSizeLimit small(30); // [byte] room for the old line, not for the new one
        return WriteStoredCalibration(kCity, City());
    }();

    EXPECT_EQ(out.result, StoreSaveResult::FinalStepFailed);
    EXPECT_EQ(out.message, "Cannot write \"Tmp.txt\": File too large");
    EXPECT_EQ(Store(), before);
    EXPECT_FALSE(fs::exists(kCalibrationTmpName));
}

} // namespace
