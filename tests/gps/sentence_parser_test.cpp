#include "gps/gps_receiver.h"
#include "gps/nmea_parser.h"
#include "tests/gps/receiver_test_support.h"

#include <gtest/gtest.h>
#include <utility>
#include <vector>

namespace {

// Indices into FixFields, in record order.
enum Field { Date, Time, GgaTime, Lat, NS, Lon, EW, Knots, Kmh, Course, Mag, MagEW, Alt, Geoid };

struct ParseCase {
    std::string sentence;
    bool accepted;
    std::vector<std::pair<Field, std::string>> changes; // every other field must stay as it was
};

const std::string kRmc = "$GPRMC,101530,A,5230.1234,N,01322.5678,E,005.2,270.5,150306,002.1,E*7B\r";
const std::string kGga = "$GPGGA,101530,5230.1234,N,01322.5678,E,1,07,1.2,034.5,M,39.2,M,,*44";

const std::vector<std::pair<Field, std::string>> kRmcChanges = {
    {Time, "101530"}, {Lat, "5230.1234"}, {NS, "N"},        {Lon, "01322.5678"}, {EW, "E"},
    {Knots, "005.2"}, {Course, "270.5"},  {Date, "150306"}, {Mag, "002.1"},      {MagEW, "E"},
};
const std::vector<std::pair<Field, std::string>> kGgaChanges = {
    {GgaTime, "101530"}, {Lat, "5230.1234"}, {NS, "N"},       {Lon, "01322.5678"},
    {EW, "E"},           {Alt, "034.5"},     {Geoid, "39.2"},
};

const ParseCase kParseCases[] = {
    // Accepted sentences and exactly what each one writes.
    {kRmc, true, kRmcChanges},
    {"$GPRMC,101530,A,5230.1234,N,01322.5678,E,005.2,270.5,150306,002.1,E*00\r", true,
     kRmcChanges}, // the checksum is not verified
    {kGga, true, kGgaChanges},
    {"$GPGGA,101530,5230.1234,N,01322.5678,E,,07,1.2,034.5,M,39.2,M,,*44", true,
     kGgaChanges}, // an empty quality is not "0"
    {"$GPGGA,101530,5230.1234,N,01322.5678,E,00,07,1.2,034.5,M,39.2,M,,*44", true, kGgaChanges},
    {"$GPVTG,270.5,T,,M,005.2,N,009.6,K*68",
     true,
     {{Course, "270.5"}, {Mag, ""}, {Knots, "005.2"}, {Kmh, "009.6"}}},
    // Short sentences update only the positions they carry.
    {"$GPVTG,054.7", true, {{Course, "054.7"}}},
    {"$GPVTG", true, {}},
    {"$GPRMC,101530,A", true, {{Time, "101530"}}},
    {"$GPGGA,101530,5230.1234,N,01322.5678,E,1",
     true,
     {{GgaTime, "101530"}, {Lat, "5230.1234"}, {NS, "N"}, {Lon, "01322.5678"}, {EW, "E"}}},
    // Empty fields replace old values; a final carriage return stays on the last field.
    {"$GPRMC,,A,,,,,,,,,,",
     true,
     {{Time, ""},
      {Lat, ""},
      {NS, ""},
      {Lon, ""},
      {EW, ""},
      {Knots, ""},
      {Course, ""},
      {Date, ""},
      {Mag, ""},
      {MagEW, ""}}},
    {"$GPRMC,101530,A,5230.1234,N,01322.5678,E,005.2,270.5,150306,002.1,E\r",
     true,
     {{Time, "101530"},
      {Lat, "5230.1234"},
      {NS, "N"},
      {Lon, "01322.5678"},
      {EW, "E"},
      {Knots, "005.2"},
      {Course, "270.5"},
      {Date, "150306"},
      {Mag, "002.1"},
      {MagEW, "E\r"}}},

    // Refused: warning status, no fix, other types and names, truncations.
    {"$GPRMC,101530,V,,,,,,,150306,,*36", false, {}},
    {"$GPRMC,101530,a,5230.1234,N,01322.5678,E,005.2,270.5,150306,002.1,E*7B", false, {}},
    {"$GPGGA,101530,,,,,0,00,,,M,,M,,*60", false, {}},
    {"$gprmc,101530,A,5230.1234,N,01322.5678,E,005.2,270.5,150306,002.1,E*7B", false, {}},
    {"$GPGSA,A,3,04,05,,09,12,,,24,,,,,2.5,1.3,2.1*39", false, {}},
    {"$GPGSV,2,1,08,01,40,083,46,02,17,308,41,12,07,344,39,14,22,228,45*75", false, {}},
    {"$GPRMCX,101530,A,5230.1234,N", false, {}},
    {" $GPRMC,101530,A,5230.1234,N", false, {}},
    {"$GPRMC", false, {}},
    {"$GPRMC,101530", false, {}},
    {"$GPGGA", false, {}},
    {"$GPGGA,101530,5230.1234,N,01322.5678,E", false, {}},
    {"", false, {}},
    {"\r", false, {}},
    {"$GPVTG\r", false, {}},
};

TEST(SentenceParser, WritesExactlyTheFieldsOfAcceptedSentences) {
    FixFields before;
    for (size_t i = 0; i < before.size(); ++i)
        before[i] = "old" + std::to_string(i);
    for (const ParseCase& c : kParseCases) {
        CGpsFix fix;
        SetFields(fix, before);
        FixFields expected = before;
        for (const auto& [field, value] : c.changes)
            expected[field] = value;
        EXPECT_EQ(ParseNmeaSentence(fix, c.sentence), c.accepted) << "sentence: " << c.sentence;
        EXPECT_EQ(Fields(fix), expected) << "sentence: " << c.sentence;
    }
}

TEST(SentenceParser, LaterSentencesOverwriteSharedFields) {
    CGpsFix fix;
    ASSERT_TRUE(ParseNmeaSentence(fix, kRmc));
    ASSERT_TRUE(ParseNmeaSentence(
        fix, "$GPGGA,101531,5230.9999,S,01322.0000,W,2,07,1.2,034.5,M,39.2,M,,*44"));
    EXPECT_EQ(fix.m_strLatitude, "5230.9999");
    EXPECT_EQ(fix.m_strNorthSouth, "S");
    EXPECT_EQ(fix.m_strEastWest, "W");
    // GGA does not carry these; they stay from RMC.
    EXPECT_EQ(fix.m_strTime, "101530");
    EXPECT_EQ(fix.m_strDate, "150306");
    EXPECT_EQ(fix.m_strGgaTime, "101531");
}

TEST(SentenceParser, TakesTheThreeTypesFromOtherGnssTalkersByTheSameRules) {
    const std::string rmc = ",101530,A,5230.1234,N,01322.5678,E,005.2,270.5,150306,002.1,E*7B";
    const std::string gga = ",101531,5231.0000,S,01323.0000,W,1,07,1.2,034.5,M,39.2,M,,*44";
    const std::string vtg = ",271.0,T,,M,006.0,N,011.1,K*68";
    for (const char* talker : {"GP", "GN", "GL", "GA", "GB", "BD", "GQ", "GI"}) {
        const std::string t = std::string("$") + talker;
        CGpsFix fix;
        EXPECT_TRUE(ParseNmeaSentence(fix, t + "RMC" + rmc)) << t;
        EXPECT_TRUE(ParseNmeaSentence(fix, t + "GGA" + gga)) << t;
        EXPECT_TRUE(ParseNmeaSentence(fix, t + "VTG" + vtg)) << t;
        const FixFields expected = {"150306",     "101530", "101531", "5231.0000", "S",
                                    "01323.0000", "W",      "006.0",  "011.1",     "271.0",
                                    "",           "E",      "034.5",  "39.2"};
        EXPECT_EQ(Fields(fix), expected) << t;

        EXPECT_FALSE(ParseNmeaSentence(fix, t + "RMC,101530,V,,,,,,,150306,,*36")) << t;
        EXPECT_FALSE(ParseNmeaSentence(fix, t + "GGA,101530,,,,,0,00,,,M,,M,,*60")) << t;
        EXPECT_FALSE(ParseNmeaSentence(fix, t + "RMC,101530")) << t;
        EXPECT_FALSE(ParseNmeaSentence(fix, t + "GGA,1,2,3,4,5")) << t;
        EXPECT_EQ(Fields(fix), expected) << t;
    }
    CGpsFix fix;
    for (const char* name : {"$INRMC", "$GnRMC", "$gnRMC", "$GNrmc", "$XXRMC", "$GNRMCX", "GNRMC",
                             "$$GNRMC", "$GNGSA", "$GN"}) {
        EXPECT_FALSE(ParseNmeaSentence(fix, name + rmc)) << name;
        EXPECT_EQ(Fields(fix), FixFields{}) << name;
    }
}

struct ExtractCase {
    std::string prefix;
    std::string text;
    std::string expected;
};

const ExtractCase kExtractCases[] = {
    {"$GPRMC", "8,M,,*44\r\n" + kGga + "\r\n" + kRmc + "\n", kRmc},
    {"$GPRMC", kRmc + "\n$GPRMC,second,A\r\n", kRmc},
    {"$GPRMC", kGga + "\r\n" + kRmc, ""},
    {"$GPRMC", kRmc + "\n$GPRMC,112233,A,52", kRmc},
    {"$GPRMC", "$GPRMC\n", "$GPRMC"},
    {"$GPRMC", "noise$GPRMC,1,A\r\n", "$GPRMC,1,A\r"},
    {"$GPGGA", "$GPGGA,030130$GPGLL,2638.1728,N\n", "$GPGGA,030130$GPGLL,2638.1728,N"},
    {"$GPRMC", "$gprmc,1,A\r\n", ""},
    {"$GPRMC", "", ""},
    {"$GPVTG", kGga + "\r\n", ""},
};

TEST(SentenceCutter, TakesTheFirstCompleteSentenceWithoutItsLineFeed) {
    auto gps = MakeOfflineReceiver();
    for (const ExtractCase& c : kExtractCases)
        EXPECT_EQ(gps->ExtractSentence(c.prefix, c.text), c.expected)
            << "prefix " << c.prefix << " in: " << c.text;
}

struct SplitCase {
    std::string text;
    std::string separators;
    std::vector<std::string> expected;
};

const SplitCase kSplitCases[] = {
    {"", ",", {}},
    {",,,", ",", {}},
    {",a,,b,", ",", {"a", "b"}},
    {"abc", ",", {"abc"}},
    {" a ,\r\n", ",", {" a ", "\r\n"}},
    {"$GPVTG,270.5,T,,M,005.2,N,009.6,K*68",
     ",*",
     {"$GPVTG", "270.5", "T", "M", "005.2", "N", "009.6", "K", "68"}},
    {"$GPVTG,270.5,T,,M,005.2,N,009.6,K*68",
     ",",
     {"$GPVTG", "270.5", "T", "M", "005.2", "N", "009.6", "K*68"}},
};

TEST(FieldSplitter, KeepsOnlyNonEmptyRunsAndReplacesTheList) {
    for (const SplitCase& c : kSplitCases) {
        std::vector<std::string> fields = {"left over"};
        CGpsReceiver::SplitFields(c.text, c.separators, fields);
        EXPECT_EQ(fields, c.expected) << "text: " << c.text << " separators: " << c.separators;
    }
}

} // namespace
