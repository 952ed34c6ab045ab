#include "gps/nmea_parser.h"

#include <vector>

bool IsOtherGnssTalker(std::string_view talker) {
    for (const char* other : kOtherGnssTalkers)
        if (talker == other)
            return true;
    return false;
}

void SplitSentence(std::string_view sentence, std::vector<std::string_view>& fields) {
    fields.clear();
    size_t start = 0;
    while (true) {
        const size_t end = sentence.find_first_of(",*", start);
        fields.push_back(sentence.substr(start, end - start));
        if (end == std::string_view::npos)
            return;
        start = end + 1;
    }
}

namespace {

struct FieldCopy {
    size_t position;
    std::string CGpsFix::*field;
};

// Copies the listed positions that the sentence has; a short sentence
// updates only what it carries.
template <size_t N>
void CopyFields(const std::vector<std::string_view>& fields, const FieldCopy (&copies)[N],
                CGpsFix& fix) {
    for (const FieldCopy& copy : copies)
        if (copy.position < fields.size())
            (fix.*copy.field).assign(fields[copy.position]);
}

// True for "$GP" + type and for the type from one of kOtherGnssTalkers.
bool IsSentenceOfType(std::string_view name, std::string_view type) {
    if (name.size() != 6 || name[0] != '$' || name.substr(3) != type)
        return false;
    const std::string_view talker = name.substr(1, 2);
    return talker == "GP" || IsOtherGnssTalker(talker);
}

constexpr FieldCopy kRmcFields[] = {
    {1, &CGpsFix::m_strTime},        {3, &CGpsFix::m_strLatitude}, {4, &CGpsFix::m_strNorthSouth},
    {5, &CGpsFix::m_strLongitude},   {6, &CGpsFix::m_strEastWest}, {7, &CGpsFix::m_strSpeedKnots},
    {8, &CGpsFix::m_strCourse},      {9, &CGpsFix::m_strDate},     {10, &CGpsFix::m_strMagnetic},
    {11, &CGpsFix::m_strMagneticEW},
};

constexpr FieldCopy kGgaFields[] = {
    {1, &CGpsFix::m_strGgaTime},          {2, &CGpsFix::m_strLatitude},
    {3, &CGpsFix::m_strNorthSouth},       {4, &CGpsFix::m_strLongitude},
    {5, &CGpsFix::m_strEastWest},         {9, &CGpsFix::m_strAltitude},
    {11, &CGpsFix::m_strGeoidSeparation},
};

constexpr FieldCopy kVtgFields[] = {
    {1, &CGpsFix::m_strCourse},
    {3, &CGpsFix::m_strMagnetic},
    {5, &CGpsFix::m_strSpeedKnots},
    {7, &CGpsFix::m_strSpeedKmh},
};

} // namespace

bool ParseNmeaSentence(CGpsFix& fix, std::string_view sentence) {
    std::vector<std::string_view> fields;
    fields.reserve(20); // room for every field of the three types, checksum included
    SplitSentence(sentence, fields);
    const std::string_view name = fields[0];

    // $GPRMC,101530,A,5230.1234,N,01322.5678,E,005.2,270.5,150306,002.1,E*7B
    // A sentence too short to carry its status is refused like a warning.
    if (IsSentenceOfType(name, "RMC") && fields.size() > 2 && fields[2] == "A") {
        CopyFields(fields, kRmcFields, fix);
        return true;
    }
    // $GPGGA,101530,5230.1234,N,01322.5678,E,1,07,1.2,034.5,M,39.2,M,,*44
    // Every quality but "0" (no fix) is taken, an empty one included; a
    // sentence cut before its quality field is refused.
    if (IsSentenceOfType(name, "GGA") && fields.size() > 6 && fields[6] != "0") {
        CopyFields(fields, kGgaFields, fix);
        return true;
    }
    // $GPVTG,270.5,T,,M,005.2,N,009.6,K*68 (no validity field)
    if (IsSentenceOfType(name, "VTG")) {
        CopyFields(fields, kVtgFields, fix);
        return true;
    }
    return false;
}
