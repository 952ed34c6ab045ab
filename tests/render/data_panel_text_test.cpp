#include "render/data_panel_text.h"

#include <clocale>
#include <gtest/gtest.h>

namespace {

CGpsFix Fix(std::string time, std::string date, std::string lat, std::string ns, std::string lon,
            std::string ew, std::string alt) {
    CGpsFix f;
    f.m_strTime = std::move(time);
    f.m_strDate = std::move(date);
    f.m_strLatitude = std::move(lat);
    f.m_strNorthSouth = std::move(ns);
    f.m_strLongitude = std::move(lon);
    f.m_strEastWest = std::move(ew);
    f.m_strAltitude = std::move(alt);
    return f;
}

struct TimeCase {
    const char* time;
    const char* date;
    const char* wantTime;
    const char* wantDate;
};

class DataPanelTimeDate : public ::testing::TestWithParam<TimeCase> {};

TEST_P(DataPanelTimeDate, CutByCharacterPosition) {
    const TimeCase& c = GetParam();
    const DataPanelValues v = ComposeDataPanel(Fix(c.time, c.date, "", "", "", "", ""));
    EXPECT_EQ(v.time, c.wantTime) << "time \"" << c.time << "\" date \"" << c.date << "\"";
    EXPECT_EQ(v.date, c.wantDate) << "time \"" << c.time << "\" date \"" << c.date << "\"";
}

INSTANTIATE_TEST_SUITE_P(Cases, DataPanelTimeDate,
                         ::testing::Values(TimeCase{"123519", "230394", "12:35:19", "23/03/94"},
                                           TimeCase{"123519.00", "230394", "12:35:19", "23/03/94"},
                                           TimeCase{"123519", "", "12:35:19", "//"},
                                           TimeCase{"", "230394", "", ""},
                                           TimeCase{"1235", "2303", "12:35:", "23/03/"},
                                           TimeCase{"1", "2", "1::", "2//"}));

struct PositionCase {
    const char* lat;
    const char* ns;
    const char* lon;
    const char* ew;
    const char* alt;
    const char* wantLat;
    const char* wantLon;
    const char* wantHeight;
};

class DataPanelPosition : public ::testing::TestWithParam<PositionCase> {};

TEST_P(DataPanelPosition, LinesAndHeight) {
    const PositionCase& c = GetParam();
    const DataPanelValues v = ComposeDataPanel(Fix("", "", c.lat, c.ns, c.lon, c.ew, c.alt));
    EXPECT_EQ(v.latitude, c.wantLat) << "lat \"" << c.lat << "\"";
    EXPECT_EQ(v.longitude, c.wantLon) << "lon \"" << c.lon << "\"";
    EXPECT_EQ(v.height, c.wantHeight) << "alt \"" << c.alt << "\" lat \"" << c.lat << "\"";
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DataPanelPosition,
    ::testing::Values(PositionCase{"4807.038", "N", "01131.000", "E", "545.4",
                                   " Latitude:        48\xB0 07.038 N",
                                   " Longitude:   011\xB0 31.000 E", " Height (m):  545.40"},
                      PositionCase{"4807.03812", "S", "01131.00012", "W", "",
                                   " Latitude:        48\xB0 07.0381 S",
                                   " Longitude:   011\xB0 31.0001 W", " Height (m):  0.00"},
                      // No latitude: no height line, whatever the height says.
                      PositionCase{"", "N", "01131.000", "E", "545.4", "",
                                   " Longitude:   011\xB0 31.000 E", ""},
                      PositionCase{"4807.038", "N", "", "E", "-12.345",
                                   " Latitude:        48\xB0 07.038 N", "", " Height (m):  -12.35"},
                      // Shorter than the pieces cut from them.
                      PositionCase{"4", "", "01", "", "x", " Latitude:        4\xB0  ",
                                   " Longitude:   01\xB0  ", " Height (m):  0.00"},
                      // The height reads as atof does: blanks, a sign, and the digits up to junk.
                      PositionCase{"4807.038", "N", "", "", "  +7.5m",
                                   " Latitude:        48\xB0 07.038 N", "", " Height (m):  7.50"}));

TEST(DataPanelLocale, HeightUsesAPointWhateverTheLocale) {
    // A desktop in a comma locale must still read and show "545.40".
    const char* old = std::setlocale(LC_NUMERIC, nullptr);
    const std::string saved = old ? old : "C";
    const bool haveComma = std::setlocale(LC_NUMERIC, "de_DE.UTF-8") != nullptr;
    const DataPanelValues v = ComposeDataPanel(Fix("", "", "4807.038", "N", "", "", "545.4"));
    std::setlocale(LC_NUMERIC, saved.c_str());
    if (!haveComma)
        GTEST_SKIP() << "no de_DE locale installed";
    EXPECT_EQ(v.height, " Height (m):  545.40");
}

TEST(DataPanelFormats, ColumnsKeepTheirLineLayout) {
    EXPECT_EQ(FormatDataPanelLeft("d", "a", "o", "h"),
              " Direction\n\n\n Speed (knots)\n\n\n Time (UTC)\n d\n\na\no\nh");
    EXPECT_EQ(FormatDataPanelRight("1", "2", "3"), "1\n2\n3");
    EXPECT_EQ(kBlankValue.size(), 12u);
    EXPECT_EQ(kBlankHeight.size(), 20u);
}

} // namespace
