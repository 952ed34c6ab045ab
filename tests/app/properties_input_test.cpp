#include "app/properties_input.h"
#include "gps/settings.h"

#include <climits>
#include <gtest/gtest.h>

namespace {

constexpr const char* kRefused = "Update time must be 1.0 second or more.";

class PropertiesInputTest : public ::testing::Test {
protected:
    void SetUp() override {
        g_strPortName = "COM1";
        g_nBaudRate = 4800;
        g_nUpdateMs = 1000;
        g_bShowAtStatusLine = 1;
    }
};

PropertiesInputTexts texts(const std::string& update, const std::string& rate = "4800") {
    return {"COM1", rate, update, true};
}

constexpr int32_t kRefusedMs = -1;

struct UpdateCase {
    const char* text;
    int32_t ms; // kRefusedMs: the message, and g_nUpdateMs unchanged
};

TEST_F(PropertiesInputTest, UpdateTimeIsTruncatedToMsAndMustBeOneSecondOrMore) {
    const UpdateCase cases[] = {
        {"1", 1000},
        {"1.0", 1000},
        {"1.05", 1050},
        {"1.0009", 1000},
        {"2.5s", 2500},
        {"  3", 3000},
        {"+3", 3000},
        {"1e3", 1000000},
        {"1,5", 1000}, // the comma is no decimal point
        {"2147483.647", 2147483647},
        {"0.999", kRefusedMs},
        {"0.9999999", kRefusedMs},
        {"", kRefusedMs},
        {"abc", kRefusedMs},
        {"-5", kRefusedMs},
        {"2147483.648", kRefusedMs},
        {"2147484", kRefusedMs},
        {"1e999", kRefusedMs},
        {"inf", kRefusedMs},
        {"-inf", kRefusedMs},
        {"nan", kRefusedMs},
    };
    for (const UpdateCase& c : cases) {
        SCOPED_TRACE(std::string("update text \"") + c.text + "\"");
        g_nUpdateMs = 7000;
        const std::string message = ApplyPropertiesInput(texts(c.text));
        if (c.ms == kRefusedMs) {
            EXPECT_EQ(message, kRefused);
            EXPECT_EQ(g_nUpdateMs, 7000);
        } else {
            EXPECT_EQ(message, "");
            EXPECT_EQ(g_nUpdateMs, c.ms);
        }
    }
}

TEST_F(PropertiesInputTest, PortAndRateAreStoredEvenWhenTheUpdateTimeIsRefused) {
    const std::string message = ApplyPropertiesInput({"/dev/ttyUSB0", "9600", "0.5", false});
    EXPECT_EQ(message, kRefused);
    EXPECT_EQ(g_strPortName, "/dev/ttyUSB0");
    EXPECT_EQ(g_nBaudRate, 9600);
    EXPECT_EQ(g_nUpdateMs, 1000);
    EXPECT_EQ(g_bShowAtStatusLine, 1) << "the option is stored only after the check";

    EXPECT_EQ(ApplyPropertiesInput({"", "9600", "2", false}), "");
    EXPECT_EQ(g_strPortName, "");
    EXPECT_EQ(g_nUpdateMs, 2000);
    EXPECT_EQ(g_bShowAtStatusLine, 0);
}

TEST_F(PropertiesInputTest, BitRateReadsItsLeadingInteger) {
    const std::pair<const char*, int32_t> cases[] = {
        {"19200", 19200},
        {"19200 baud", 19200},
        {" 300", 300},
        {"", 0},
        {"fast", 0},
        {"-300", -300},
        {"99999999999", INT32_MAX},
        {"-99999999999", INT32_MIN},
    };
    for (const auto& [text, rate] : cases) {
        SCOPED_TRACE(std::string("rate text \"") + text + "\"");
        EXPECT_EQ(ApplyPropertiesInput(texts("1", text)), "");
        EXPECT_EQ(g_nBaudRate, rate);
    }
}

TEST(PropertiesFormat, UpdateSecondsHaveOneDecimal) {
    const std::pair<int32_t, const char*> cases[] = {
        {1000, "1.0"}, {1050, "1.1"}, {1100, "1.1"},     {999, "1.0"},
        {2000, "2.0"}, {0, "0.0"},    {123456, "123.5"}, {2147483647, "2147483.6"},
    };
    for (const auto& [ms, shown] : cases) {
        SCOPED_TRACE(ms);
        EXPECT_EQ(FormatUpdateSeconds(ms), shown);
    }
}

TEST(PropertiesFormat, PortFailureMessageNamesPortAndRate) {
    EXPECT_EQ(PortOpenFailureMessage("COM7", 4800),
              "Can not open Com Port \"COM7\" with Baud Rate 4800.");
    // A name is text, never a format.
    EXPECT_EQ(PortOpenFailureMessage("/dev/%s%n", -1),
              "Can not open Com Port \"/dev/%s%n\" with Baud Rate -1.");
}

} // namespace
