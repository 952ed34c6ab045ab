// Saving a calibration from the map view when the store cannot be written:
// the user is told, and the store as it was survives.

#include "map/calibration_store.h"
#include "platform/message_box.h"
#include "tests/app/app_fixture.h"
#include "tests/test_support.h"

#include <filesystem>
#include <fstream>
#include <sys/stat.h>

namespace {

const std::string kKey = "/maps/harbour.bmp";
const std::string kOldStore = "/maps/coast.bmp,1,2,3,4,5,6,7,8\r\n"
                              "/maps/harbour.bmp,10,20,30,40,50,60,70,80\r\n"
                              "/maps/hills.bmp,9,9,9,9,9,9,9,9\r\n";
const std::string kNewStore = "/maps/coast.bmp,1,2,3,4,5,6,7,8\r\n"
                              "/maps/hills.bmp,9,9,9,9,9,9,9,9\r\n"
                              "/maps/harbour.bmp,100,200,3000,4000,500,600,7000,8000\r\n";

struct StoreFault {
    const char* name;
    bool keepOldStore;                // an old store is there (else its place is taken)
    void (*arrange)();                // puts the obstacle in place
    unsigned long long fileSizeLimit; // [byte] during the save; 0 for none
    const char* message;              // what the user is shown
    bool calibratedAfter;             // what SaveCalibration says of the calibration
};

void PrintTo(const StoreFault& f, std::ostream* os) {
    *os << f.name;
}

const StoreFault kFaults[] = {
    {"store is a directory", false,
     [] { std::filesystem::create_directory(kCalibrationStoreName); }, 0,
     "Can not create calibration file \"CalibratedMaps.txt\"", true},
    {"store is a pipe", false, [] { mkfifo(kCalibrationStoreName, 0600); }, 0,
     "Can not create calibration file \"CalibratedMaps.txt\"", true},
    {"Tmp.txt is a directory", true, [] { std::filesystem::create_directory(kCalibrationTmpName); },
     0, "Can not open tmp file \"Tmp.txt\"", true},
    {"Tmp.txt is a pipe", true, [] { mkfifo(kCalibrationTmpName, 0600); }, 0,
     "Can not open tmp file \"Tmp.txt\"", true},
    {"one byte at most", true, [] {}, 1, "Cannot write \"Tmp.txt\": File too large", false},
    {"the new store does not fit", true, [] {}, kOldStore.size(),
     "Cannot write \"Tmp.txt\": File too large", false},
};

// A scanned-map view of kKey with a full calibration, in a fresh working
// directory that holds the store.
class StoreFaults : public AppTest, public ::testing::WithParamInterface<StoreFault> {
protected:
    void SetUp() override {
        m_dir.emplace(true);
        AppTest::SetUp();
        view = OpenWindow(DOCMODE_MAP);
        ASSERT_NE(view, nullptr);
        view->m_pDocument->SetPathName(kKey);
        view->m_cal = CMapCalibration{true, true, 3000, 4000, 7000, 8000, 100, 200, 500, 600};
        SetMessageBoxHook([this](const QString& text) { m_messages << text; });
    }
    void TearDown() override {
        SetMessageBoxHook({});
        AppTest::TearDown();
        m_dir.reset();
    }

    std::optional<TempDir> m_dir;
    QStringList m_messages;
    COstrelView* view = nullptr;
};

TEST_P(StoreFaults, ShowTheMessageAndKeepTheStore) {
    const StoreFault& fault = GetParam();
    if (fault.keepOldStore)
        std::ofstream(kCalibrationStoreName, std::ios::binary) << kOldStore;
    fault.arrange();
    const CMapCalibration cal = view->m_cal;

    bool result;
    if (fault.fileSizeLimit) {
        FileSizeLimit limit(fault.fileSizeLimit);
        result = view->SaveCalibration();
    } else {
        result = view->SaveCalibration();
    }

    EXPECT_EQ(m_messages, QStringList{QString::fromLatin1(fault.message)});
    EXPECT_EQ(result, fault.calibratedAfter);
    EXPECT_TRUE(view->m_cal.m_bPoint1Set && view->m_cal.m_bPoint2Set);
    EXPECT_EQ(view->m_cal.m_nX2, cal.m_nX2);
    if (fault.keepOldStore) {
        EXPECT_EQ(ReadFileBytes(kCalibrationStoreName), kOldStore);
    }
    // A half-written temporary file is not left behind.
    if (fault.fileSizeLimit) {
        EXPECT_FALSE(std::filesystem::exists(kCalibrationTmpName));
    }

    // With the obstacle gone, the next save goes through.
    for (const char* name : {kCalibrationStoreName, kCalibrationTmpName}) {
        struct stat st {};
        if (lstat(name, &st) == 0 && !S_ISREG(st.st_mode))
            std::filesystem::remove(name);
    }
    m_messages.clear();
    EXPECT_TRUE(view->SaveCalibration());
    EXPECT_TRUE(m_messages.isEmpty()) << m_messages.join("; ").toStdString();
    EXPECT_EQ(ReadFileBytes(kCalibrationStoreName),
              fault.keepOldStore ? kNewStore : kNewStore.substr(kNewStore.rfind("/maps/")));
}

INSTANTIATE_TEST_SUITE_P(Obstacles, StoreFaults, ::testing::ValuesIn(kFaults),
                         [](const auto& info) {
                             std::string name;
                             for (const char* c = info.param.name; *c; ++c)
                                 name += std::isalnum(static_cast<unsigned char>(*c)) ? *c : '_';
                             return name;
                         });

} // namespace
