#include "render/data_panel_text.h"

#include <cctype>
#include <charconv>

namespace {

// Up to `count` characters from `pos`; empty when `pos` is past the end.
std::string Piece(const std::string& text, size_t pos, size_t count) {
    if (pos >= text.size())
        return {};
    return text.substr(pos, count);
}

// The number at the start of `text` as atof reads it (leading blanks, an
// optional sign, no digits giving 0), but always with a '.' as decimal point,
// whatever the process locale says: receivers write a point.
double ReadDecimal(const std::string& text) {
    const char* p = text.c_str();
    const char* end = p + text.size();
    while (p < end && std::isspace(static_cast<unsigned char>(*p)))
        ++p;
    if (p < end && *p == '+')
        ++p;
    double value = 0.0;
    const std::from_chars_result r = std::from_chars(p, end, value, std::chars_format::general);
    if (r.ec == std::errc::result_out_of_range) {
        // atof gives +-HUGE_VAL or 0 here; a height that large is noise either way.
        return 0.0;
    }
    return r.ec == std::errc() ? value : 0.0;
}

// "%.2f" without the locale's decimal separator.
std::string FixedTwo(double value) {
    char buf[400]; // the longest double in fixed notation has 309 integer digits
    const std::to_chars_result r =
        std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, 2);
    return std::string(buf, r.ptr);
}

} // namespace

DataPanelValues ComposeDataPanel(const CGpsFix& fix) {
    DataPanelValues v;
    if (!fix.m_strTime.empty()) {
        const std::string& t = fix.m_strTime;
        const std::string& d = fix.m_strDate;
        v.time = Piece(t, 0, 2) + ":" + Piece(t, 2, 2) + ":" + Piece(t, 4, 2);
        v.date = Piece(d, 0, 2) + "/" + Piece(d, 2, 2) + "/" + Piece(d, 4, 2);
    }
    if (!fix.m_strLongitude.empty()) {
        const std::string& s = fix.m_strLongitude;
        v.longitude =
            " Longitude:   " + Piece(s, 0, 3) + "\xB0 " + Piece(s, 3, 7) + " " + fix.m_strEastWest;
    }
    if (!fix.m_strLatitude.empty()) {
        const std::string& s = fix.m_strLatitude;
        v.latitude = " Latitude:        " + Piece(s, 0, 2) + "\xB0 " + Piece(s, 2, 7) + " " +
                     fix.m_strNorthSouth;
        v.height = " Height (m):  " + FixedTwo(ReadDecimal(fix.m_strAltitude));
    }
    return v;
}

std::string FormatDataPanelLeft(const std::string& date, const std::string& latitude,
                                const std::string& longitude, const std::string& height) {
    return " Direction\n\n\n Speed (knots)\n\n\n Time (UTC)\n " + date + "\n\n" + latitude + "\n" +
           longitude + "\n" + height;
}

std::string FormatDataPanelRight(const std::string& direction, const std::string& speed,
                                 const std::string& time) {
    return direction + "\n" + speed + "\n" + time;
}
