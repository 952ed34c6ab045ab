#include "track/gpx_reader.h"

#include "platform/unique_fd.h"

#include <charconv>
#include <chrono>
#include <climits>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <libxml/xmlreader.h>
#include <memory>
#include <sys/stat.h>

namespace {

constexpr std::string_view kGpx10 = "http://www.topografix.com/GPX/1/0";
constexpr std::string_view kGpx11 = "http://www.topografix.com/GPX/1/1";

// No network, no DTD loaded, no entity expanded (XML_PARSE_NOENT stays off),
// and libxml2's own limits on text and depth kept (XML_PARSE_HUGE stays off).
constexpr int kParseOptions = XML_PARSE_NONET | XML_PARSE_NOWARNING | XML_PARSE_NOBLANKS;

// Farther from sea level than this is no place near the earth [m].
constexpr double kMaxAltitude = 1e7;

constexpr int64_t kYear0Ms = -62167219200000;     // 0000-01-01T00:00:00Z [ms]
constexpr int64_t kYear10000Ms = 253402300800000; // 10000-01-01T00:00:00Z [ms]

// The GPX elements read; everything else is Other, and so is all inside it.
enum class Kind { Gpx, Wpt, Rte, Rtept, Trk, Trkseg, Trkpt, Name, Sym, Ele, Time, Other };

std::string_view Trim(std::string_view text) {
    const size_t first = text.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos)
        return {};
    return text.substr(first, text.find_last_not_of(" \t\r\n") + 1 - first);
}

std::string_view View(const xmlChar* text) {
    return text ? std::string_view(reinterpret_cast<const char*>(text)) : std::string_view();
}

// A name from the file, cut to a length that a message can show.
std::string Shown(const xmlChar* name) {
    return std::string(View(name).substr(0, 40));
}

// A decimal number that is all of `text` but blanks, finite; nothing otherwise.
std::optional<double> ParseNumber(std::string_view text) {
    text = Trim(text);
    if (text.size() > 1 && text[0] == '+' && text[1] != '-')
        text.remove_prefix(1);
    double value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size() ||
        !std::isfinite(value))
        return std::nullopt;
    return value;
}

// `count` digits at `at` as `value`, moving `at` past them.
bool Digits(std::string_view text, size_t& at, size_t count, int& value) {
    if (text.size() - at < count)
        return false;
    value = 0;
    for (size_t end = at + count; at < end; ++at) {
        if (text[at] < '0' || text[at] > '9')
            return false;
        value = value * 10 + (text[at] - '0');
    }
    return true;
}

bool Skip(std::string_view text, size_t& at, char c) {
    if (at >= text.size() || text[at] != c)
        return false;
    ++at;
    return true;
}

Kind ChildKind(Kind parent, std::string_view name) {
    switch (parent) {
    case Kind::Gpx:
        return name == "wpt"   ? Kind::Wpt
               : name == "rte" ? Kind::Rte
               : name == "trk" ? Kind::Trk
                               : Kind::Other;
    case Kind::Rte:
        return name == "rtept" ? Kind::Rtept : name == "name" ? Kind::Name : Kind::Other;
    case Kind::Trk:
        return name == "trkseg" ? Kind::Trkseg : name == "name" ? Kind::Name : Kind::Other;
    case Kind::Trkseg:
        return name == "trkpt" ? Kind::Trkpt : Kind::Other;
    case Kind::Wpt:
    case Kind::Rtept:
    case Kind::Trkpt:
        return name == "name"   ? Kind::Name
               : name == "sym"  ? Kind::Sym
               : name == "ele"  ? Kind::Ele
               : name == "time" ? Kind::Time
                                : Kind::Other;
    default:
        return Kind::Other;
    }
}

struct ReaderFree {
    void operator()(xmlTextReader* reader) const { xmlFreeTextReader(reader); }
};
using ReaderPtr = std::unique_ptr<xmlTextReader, ReaderFree>;

// One pass of the reader over a document, building what it finds.
class GpxParser {
public:
    GpxParser(xmlTextReaderPtr reader, const GpxLimits& limits)
        : m_reader(reader), m_limits(limits) {}

    // Empty when the whole document was read; else what is wrong.
    std::string Run() {
        xmlTextReaderSetStructuredErrorHandler(m_reader, &GpxParser::OnXmlError, this);
        // Encoding errors go to the library's generic handler, which would
        // print them on the standard error.
        const xmlGenericErrorFunc savedHandler = xmlGenericError;
        void* const savedContext = xmlGenericErrorContext;
        xmlSetGenericErrorFunc(this, &GpxParser::OnGenericError);
        int result = 0;
        while (m_problem.empty() && (result = xmlTextReaderRead(m_reader)) == 1)
            Take();
        xmlSetGenericErrorFunc(savedContext, savedHandler);
        if (m_problem.empty() && result < 0)
            Fail(m_generic.empty() ? "the file is not well-formed XML"
                                   : std::string(Trim(m_generic.substr(0, m_generic.find('\n')))));
        if (m_problem.empty() && !m_rootSeen)
            Fail("the file holds no XML element");
        if (m_problem.empty())
            return {};
        return m_line > 0 ? "line " + std::to_string(m_line) + ": " + m_problem : m_problem;
    }

    GpxRead& Out() { return m_out; }

private:
    static void OnXmlError(void* self, xmlErrorPtr error) {
        auto* parser = static_cast<GpxParser*>(self);
        if (error && error->level >= XML_ERR_ERROR && parser->m_problem.empty()) {
            parser->m_problem = Trim(error->message ? error->message : "an XML error");
            parser->m_line = error->line;
        }
    }

    static void OnGenericError(void* self, const char* format, ...) {
        auto* parser = static_cast<GpxParser*>(self);
        if (parser->m_generic.size() > 200)
            return;
        char text[256];
        va_list arguments;
        va_start(arguments, format);
        std::vsnprintf(text, sizeof text, format, arguments);
        va_end(arguments);
        parser->m_generic += text;
    }

    void Fail(std::string problem) {
        if (!m_problem.empty())
            return;
        m_problem = std::move(problem);
        m_line = xmlTextReaderGetParserLineNumber(m_reader);
    }

    void Take() {
        switch (xmlTextReaderNodeType(m_reader)) {
        case XML_READER_TYPE_ELEMENT: {
            const bool empty = xmlTextReaderIsEmptyElement(m_reader) == 1;
            Start();
            if (empty && m_problem.empty())
                End();
            break;
        }
        case XML_READER_TYPE_END_ELEMENT:
            End();
            break;
        case XML_READER_TYPE_TEXT:
        case XML_READER_TYPE_CDATA:
        case XML_READER_TYPE_SIGNIFICANT_WHITESPACE:
            if (!m_open.empty() && m_open.back() >= Kind::Name && m_open.back() <= Kind::Time) {
                m_text += View(xmlTextReaderConstValue(m_reader));
                if (m_text.size() > m_limits.maxText)
                    Fail("a text longer than " + std::to_string(m_limits.maxText) +
                         " bytes; a GPX file is read only with shorter names, symbols, "
                         "elevations and times");
            }
            break;
        case XML_READER_TYPE_ENTITY_REFERENCE:
            Fail("the entity &" + Shown(xmlTextReaderConstLocalName(m_reader)) +
                 "; is used, and entities are not read");
            break;
        default:
            break;
        }
    }

    void Start() {
        if (int(m_open.size()) >= m_limits.maxDepth) {
            Fail("elements nested more than " + std::to_string(m_limits.maxDepth) + " deep");
            return;
        }
        const std::string_view name = View(xmlTextReaderConstLocalName(m_reader));
        const std::string_view space = View(xmlTextReaderConstNamespaceUri(m_reader));
        const bool gpx = space.empty() || space == kGpx10 || space == kGpx11;
        Kind kind = Kind::Other;
        if (m_open.empty()) {
            if (!gpx || name != "gpx") {
                Fail("the file is not GPX: its outermost element is <" +
                     Shown(xmlTextReaderConstName(m_reader)) + ">");
                return;
            }
            m_rootSeen = true;
            kind = Kind::Gpx;
        } else if (gpx) {
            kind = ChildKind(m_open.back(), name);
        }
        m_open.push_back(kind);
        GpxData& data = m_out.data;
        switch (kind) {
        case Kind::Wpt:
        case Kind::Rtept:
        case Kind::Trkpt:
            if (++m_points > m_limits.maxPoints)
                return Fail("more than " + std::to_string(m_limits.maxPoints) +
                            " points; a GPX file is read only with fewer");
            StartPoint();
            break;
        case Kind::Rte:
        case Kind::Trk:
        case Kind::Trkseg:
            if (++m_parts > m_limits.maxParts)
                return Fail("more than " + std::to_string(m_limits.maxParts) +
                            " routes, tracks and track segments; a GPX file is read only "
                            "with fewer");
            if (kind == Kind::Rte)
                data.routes.emplace_back();
            else if (kind == Kind::Trk)
                data.tracks.emplace_back();
            else
                data.tracks.back().segments.emplace_back();
            break;
        case Kind::Name:
        case Kind::Sym:
        case Kind::Ele:
        case Kind::Time:
            m_text.clear();
            break;
        default:
            break;
        }
    }

    std::optional<double> Attribute(const char* name) {
        const std::unique_ptr<xmlChar, decltype(xmlFree)> value(
            xmlTextReaderGetAttribute(m_reader, reinterpret_cast<const xmlChar*>(name)), xmlFree);
        return value ? ParseNumber(View(value.get())) : std::nullopt;
    }

    void StartPoint() {
        const std::optional<double> lat = Attribute("lat");
        const std::optional<double> lon = Attribute("lon");
        m_point = {};
        m_pointValid = lat && lon && std::fabs(*lat) <= 90 && std::fabs(*lon) <= 180;
        if (m_pointValid)
            m_point.position = {*lon, *lat};
    }

    void End() {
        if (m_open.empty())
            return;
        const Kind kind = m_open.back();
        m_open.pop_back();
        const Kind parent = m_open.empty() ? Kind::Other : m_open.back();
        GpxData& data = m_out.data;
        switch (kind) {
        case Kind::Wpt:
        case Kind::Rtept:
        case Kind::Trkpt:
            if (!m_pointValid)
                ++m_out.skipped;
            else if (kind == Kind::Wpt)
                data.waypoints.push_back(std::move(m_point));
            else if (kind == Kind::Rtept)
                data.routes.back().points.push_back(std::move(m_point));
            else
                data.tracks.back().segments.back().push_back(m_point);
            break;
        case Kind::Name:
            if (parent == Kind::Rte)
                data.routes.back().name = Trim(m_text);
            else if (parent == Kind::Trk)
                data.tracks.back().name = Trim(m_text);
            else
                m_point.name = Trim(m_text);
            break;
        case Kind::Sym:
            m_point.symbol = Trim(m_text);
            break;
        case Kind::Ele:
            m_point.altitude = ParseNumber(m_text);
            if (m_point.altitude && std::fabs(*m_point.altitude) > kMaxAltitude)
                m_point.altitude.reset();
            break;
        case Kind::Time:
            m_point.timeMs = ParseGpxTime(m_text);
            break;
        default:
            break;
        }
    }

    xmlTextReaderPtr m_reader;
    const GpxLimits& m_limits;
    GpxRead m_out;
    std::vector<Kind> m_open; // the elements open, outermost first
    GpxWaypoint m_point;      // the point being read
    bool m_pointValid = false;
    std::string m_text; // of the name, symbol, elevation or time being read
    size_t m_points = 0, m_parts = 0;
    bool m_rootSeen = false;
    std::string m_problem;
    int m_line = 0;
    std::string m_generic; // what the library's generic handler was told
};

GpxRead Failed(const std::string& name, const std::string& problem) {
    GpxRead read;
    read.message = "Cannot read \"" + name + "\": " + problem;
    return read;
}

GpxRead Parse(xmlTextReaderPtr raw, const std::string& name, const GpxLimits& limits) {
    const ReaderPtr reader(raw);
    if (!reader)
        return Failed(name, "the XML reader cannot start");
    GpxParser parser(raw, limits);
    if (std::string problem = parser.Run(); !problem.empty())
        return Failed(name, problem);
    return std::move(parser.Out());
}

std::string TooLarge(int64_t bytes, const GpxLimits& limits) {
    return std::to_string(bytes) + " bytes, more than the " + std::to_string(limits.maxFileBytes) +
           " a GPX file is read with";
}

std::string Counted(size_t count, const char* what) {
    return std::to_string(count) + " " + what + (count == 1 ? "" : "s");
}

} // namespace

std::optional<int64_t> ParseGpxTime(std::string_view text) {
    text = Trim(text);
    size_t at = 0;
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    if (!Digits(text, at, 4, year) || !Skip(text, at, '-') || !Digits(text, at, 2, month) ||
        !Skip(text, at, '-') || !Digits(text, at, 2, day) || !Skip(text, at, 'T') ||
        !Digits(text, at, 2, hour) || !Skip(text, at, ':') || !Digits(text, at, 2, minute) ||
        !Skip(text, at, ':') || !Digits(text, at, 2, second) || hour > 23 || minute > 59 ||
        second > 60)
        return std::nullopt;
    int64_t millis = 0;
    if (Skip(text, at, '.')) {
        const size_t first = at;
        for (int scale = 100; at < text.size() && text[at] >= '0' && text[at] <= '9';
             ++at, scale /= 10)
            millis += (text[at] - '0') * scale;
        if (at == first)
            return std::nullopt;
    }
    int zoneMinutes = 0;
    if (at < text.size() && (text[at] == '+' || text[at] == '-')) {
        const int sign = text[at++] == '-' ? -1 : 1;
        int zoneHours = 0, zoneMins = 0;
        if (!Digits(text, at, 2, zoneHours) || !Skip(text, at, ':') ||
            !Digits(text, at, 2, zoneMins) || zoneHours > 14 || zoneMins > 59)
            return std::nullopt;
        zoneMinutes = sign * (zoneHours * 60 + zoneMins);
    } else {
        Skip(text, at, 'Z');
    }
    using namespace std::chrono;
    const year_month_day date{std::chrono::year(year), std::chrono::month(unsigned(month)),
                              std::chrono::day(unsigned(day))};
    if (at != text.size() || !date.ok())
        return std::nullopt;
    const int64_t days = sys_days(date).time_since_epoch().count();
    const int64_t ms =
        ((days * 24 + hour) * 60 + minute - zoneMinutes) * 60000 + second * 1000 + millis;
    // A zone can move a time out of the years 0000 to 9999 that it is written in.
    if (ms < kYear0Ms || ms >= kYear10000Ms)
        return std::nullopt;
    return ms;
}

GpxRead ReadGpxBytes(std::string_view bytes, const std::string& name, const GpxLimits& limits) {
    xmlInitParser();
    if (int64_t(bytes.size()) > limits.maxFileBytes || bytes.size() > size_t(INT_MAX))
        return Failed(name, TooLarge(int64_t(bytes.size()), limits));
    if (bytes.empty())
        return Failed(name, "the file is empty");
    return Parse(
        xmlReaderForMemory(bytes.data(), int(bytes.size()), nullptr, nullptr, kParseOptions), name,
        limits);
}

GpxRead ReadGpxFile(const std::string& path, const GpxLimits& limits) {
    xmlInitParser();
    const UniqueFd fd(open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    struct stat info {};
    if (!fd || fstat(fd.get(), &info) != 0)
        return Failed(path, std::strerror(errno));
    if (!S_ISREG(info.st_mode))
        return Failed(path, "not a regular file");
    if (info.st_size > limits.maxFileBytes)
        return Failed(path, TooLarge(info.st_size, limits));
    if (info.st_size == 0)
        return Failed(path, "the file is empty");
    return Parse(xmlReaderForFd(fd.get(), nullptr, nullptr, kParseOptions), path, limits);
}

std::string GpxCounts(const GpxRead& read) {
    const GpxData& data = read.data;
    std::string text = Counted(data.waypoints.size(), "waypoint") + ", " +
                       Counted(data.routes.size(), "route") + ", " +
                       Counted(data.tracks.size(), "track");
    if (read.skipped > 0)
        text += "; " + Counted(read.skipped, "point") + " with impossible coordinates skipped";
    return text;
}
