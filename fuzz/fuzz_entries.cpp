#include "fuzz/fuzz_entries.h"

#include "gps/gps_receiver.h"
#include "gps/poll_tick.h"
#include "gps/settings.h"
#include "map/calibration_store.h"
#include "map/sidecar_calibration.h"
#include "map/sidecar_readers.h"
#include "picture/picture_decoder.h"
#include "platform/dib_decoder.h"
#include "render/dib.h"
#include "track/gpx_export.h"
#include "track/gpx_reader.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <vector>

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

namespace {

std::string Bytes(const uint8_t* data, size_t size) {
    return size ? std::string(reinterpret_cast<const char*>(data), size) : std::string();
}

// --- Poll tick ---

constexpr size_t kMaxChunk = 1000; // [byte] the most one ReadPort returns

CGpsReceiver& Receiver() {
    // The default port name may be a real device on this machine: open none.
    static const std::unique_ptr<CGpsReceiver> gps = [] {
        const std::string saved = g_strPortName;
        g_strPortName = "";
        auto r = std::make_unique<CGpsReceiver>();
        g_strPortName = saved;
        return r;
    }();
    return *gps;
}

// A cut sentence is empty, or a whole line of the chunk up to its line feed
// that starts with "$", a two-letter talker and the type.
std::string CheckCut(const std::string& chunk, NmeaType type, const std::string& sentence) {
    if (sentence.empty())
        return {};
    const char* name = type == NmeaType::Rmc ? "RMC" : type == NmeaType::Gga ? "GGA" : "VTG";
    if (sentence.size() < 6 || sentence[0] != '$' || sentence.compare(3, 3, name) != 0)
        return "cut sentence does not start with $xx" + std::string(name) + ": " + sentence;
    if (sentence.find('\n') != std::string::npos ||
        chunk.find(sentence + '\n') == std::string::npos)
        return "cut sentence is not a line of the chunk: " + sentence;
    return {};
}

// Fields come from splitting at commas and asterisks, and sentences end at
// their line feed, so no field can hold one of these.
std::string CheckFix(const CGpsFix& fix) {
    for (const std::string* field :
         {&fix.m_strDate, &fix.m_strTime, &fix.m_strGgaTime, &fix.m_strLatitude,
          &fix.m_strNorthSouth, &fix.m_strLongitude, &fix.m_strEastWest, &fix.m_strSpeedKnots,
          &fix.m_strSpeedKmh, &fix.m_strCourse, &fix.m_strMagnetic, &fix.m_strMagneticEW,
          &fix.m_strAltitude, &fix.m_strGeoidSeparation})
        if (field->find_first_of(",*\n") != std::string::npos)
            return "fix field holds a separator or line feed: " + *field;
    return {};
}

// --- Calibration store ---

// A private working directory for the store, made once per process and
// removed at exit.
class StoreDirectory {
public:
    StoreDirectory() {
        std::error_code ec;
        std::string name =
            (std::filesystem::temp_directory_path(ec) / "ostrel-store-XXXXXX").string();
        if (!ec && mkdtemp(name.data()))
            m_path = name;
    }
    ~StoreDirectory() {
        std::error_code ec;
        if (!m_path.empty())
            std::filesystem::remove_all(m_path, ec);
    }
    StoreDirectory(const StoreDirectory&) = delete;
    StoreDirectory& operator=(const StoreDirectory&) = delete;
    const std::string& Path() const { return m_path; }

private:
    std::string m_path;
};

using CalibrationValues = std::array<int32_t, 10>;

CalibrationValues Values(const CMapCalibration& c) {
    return {c.m_bPoint1Set, c.m_bPoint2Set, c.m_nX1, c.m_nY1,   c.m_nLon1,
            c.m_nLat1,      c.m_nX2,        c.m_nY2, c.m_nLon2, c.m_nLat2};
}

bool WriteWholeFile(const char* name, const std::string& bytes) {
    std::FILE* f = std::fopen(name, "wb");
    if (!f)
        return false;
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && written;
}

// Runs in the private directory.
std::string CheckStore(const std::string& store) {
    if (!WriteWholeFile(kCalibrationStoreName, store))
        return "cannot write the store";

    // Paths the input steers (the first field of its first and last lines)
    // and a few fixed ones.
    const size_t npos = std::string::npos;
    std::vector<std::string> paths = {store.substr(0, store.find_first_of(",\n")),
                                      "C:\\Maps\\city.bmp", "/home/maps/x.bmp", "x", ""};
    size_t last = store.size();
    if (last > 0 && store[last - 1] == '\n')
        --last;
    const size_t lineFeed = last == 0 ? npos : store.rfind('\n', last - 1);
    const size_t lastStart = lineFeed == npos ? 0 : lineFeed + 1;
    paths.push_back(store.substr(lastStart, store.find(',', lastStart) - lastStart));

    CMapCalibration marked;
    marked.m_nX1 = 0x5A5A5A5A;
    marked.m_nLat2 = -0x5A5A5A5A;
    for (const std::string& path : paths) {
        CMapCalibration cal = marked;
        if (ReadStoredCalibration(path, cal)) {
            if (!cal.m_bPoint1Set || !cal.m_bPoint2Set)
                return "a read calibration lacks a point: " + path;
        } else if (Values(cal) != Values(marked)) {
            return "a failed read changed the calibration: " + path;
        }
    }

    // A saved record must read back as saved, whatever else the store held.
    // The first path has no comma or line feed, which no stored path can
    // have; an empty one cannot be stored either.
    const std::string key = paths[0].empty() ? "C:\\Maps\\city.bmp" : paths[0];
    int32_t v[8] = {INT32_MIN, INT32_MAX, -1, 0, 120, 80, 41460, 173222};
    if (store.size() >= sizeof v)
        std::copy_n(store.end() - sizeof v, sizeof v, reinterpret_cast<char*>(v));
    const CMapCalibration cal{true, true, v[0], v[1], v[2], v[3], v[4], v[5], v[6], v[7]};
    const StoreSaveOutcome saved = WriteStoredCalibration(key, cal);
    if (saved.result != StoreSaveResult::Saved)
        return "saving failed: " + saved.message;
    CMapCalibration back;
    if (!ReadStoredCalibration(key, back) || Values(back) != Values(cal))
        return "a saved calibration does not read back: " + key;
    return {};
}

// --- Bitmap ---

constexpr uint32_t kUnset = 0x12345678;        // a pixel no decode has written
constexpr int64_t kMaxWholePixels = 512 * 512; // decoded whole up to this size

uint32_t U32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

// CDib::Read of `bytes` through a real file, as the document reads one.
uint32_t ReadThroughFile(CDib& dib, const uint8_t* data, size_t size) {
    const int fd = memfd_create("ostrel-fuzz-dib", MFD_CLOEXEC);
    if (fd < 0)
        return 0;
    for (size_t done = 0; done < size;) {
        const ssize_t n = write(fd, data + done, size - done);
        if (n <= 0) {
            close(fd);
            return 0;
        }
        done += size_t(n);
    }
    std::FILE* f = lseek(fd, 0, SEEK_SET) == 0 ? fdopen(fd, "rb") : nullptr;
    if (!f) {
        close(fd);
        return 0;
    }
    const uint32_t n = dib.Read(f);
    std::fclose(f);
    return n;
}

// Decodes `rect` into a buffer of exactly its size; pixels outside the
// picture must stay unset, those inside must match `whole` when it is there.
std::string CheckWindow(const CDibDecoder& decoder, const CRect& rect,
                        const std::vector<uint32_t>& whole) {
    const int32_t w = decoder.Width();
    const int32_t h = decoder.Height();
    const size_t stride = size_t(rect.Width());
    std::vector<uint32_t> pixels(stride * size_t(rect.Height()), kUnset);
    decoder.DecodeRect(rect, pixels.data(), stride);
    for (int32_t y = rect.top; y < rect.bottom; ++y) {
        for (int32_t x = rect.left; x < rect.right; ++x) {
            const uint32_t p = pixels[size_t(y - rect.top) * stride + size_t(x - rect.left)];
            if (x < 0 || x >= w || y < 0 || y >= h) {
                if (p != kUnset)
                    return "a pixel outside the picture was written";
            } else if (!whole.empty() && p != whole[size_t(y) * size_t(w) + size_t(x)]) {
                return "a window decodes differently from the whole picture";
            } else if (p != kUnset && p >> 24 != 0xFF) {
                return "a decoded pixel is not opaque";
            }
        }
    }
    return {};
}

} // namespace

std::string FuzzPollTick(const uint8_t* data, size_t size) {
    CGpsReceiver& gps = Receiver();
    gps.m_fix = CGpsFix{};
    const std::string input = Bytes(data, size);
    std::string problem;
    for (size_t pos = 0; pos < input.size() && problem.empty();) {
        const size_t end = std::min({input.find('\0', pos), input.size(), pos + kMaxChunk});
        const std::string chunk = input.substr(pos, end - pos);
        pos = end < input.size() && input[end] == '\0' ? end + 1 : end;
        HandlePolledChunk(gps, chunk, [&](NmeaType type, const std::string& sentence) {
            if (problem.empty())
                problem = CheckCut(chunk, type, sentence);
        });
        if (problem.empty())
            problem = CheckFix(gps.m_fix);
    }
    return problem;
}

std::string FuzzSplitFields(const uint8_t* data, size_t size) {
    if (size == 0)
        return {};
    const size_t count = std::min<size_t>(data[0] % 8, size - 1);
    const std::string separators = Bytes(data + 1, count);
    const std::string text = Bytes(data + 1 + count, size - 1 - count);

    std::vector<std::string> fields = {"left over from an earlier call"};
    CGpsReceiver::SplitFields(text, separators, fields);

    // The fields are the maximal runs of other bytes, in order.
    std::string joined;
    for (const std::string& field : fields) {
        if (field.empty())
            return "an empty field";
        if (field.find_first_of(separators) != std::string::npos)
            return "a field holds a separator: " + field;
        joined += field;
    }
    std::string kept;
    size_t runs = 0;
    bool inRun = false;
    for (char c : text) {
        const bool separator = separators.find(c) != std::string::npos;
        if (!separator) {
            kept += c;
            runs += !inRun;
        }
        inRun = !separator;
    }
    if (joined != kept)
        return "the fields are not the text without its separators";
    if (fields.size() != runs)
        return "expected " + std::to_string(runs) + " fields, got " + std::to_string(fields.size());
    return {};
}

std::string FuzzCalibrationStore(const uint8_t* data, size_t size) {
    static const StoreDirectory directory;
    if (directory.Path().empty())
        return "no private directory for the store";
    // Entered for this input only, so that the caller's relative paths
    // (corpus folders, crash files) keep their meaning.
    const int back = open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (back < 0)
        return "cannot remember the working directory";
    if (chdir(directory.Path().c_str()) != 0) {
        close(back);
        return "cannot enter " + directory.Path();
    }
    const std::string problem = CheckStore(Bytes(data, size));
    if (fchdir(back) != 0)
        std::abort();
    close(back);
    return problem;
}

std::string FuzzDibRead(const uint8_t* data, size_t size) {
    CDib dib;
    const uint32_t length = ReadThroughFile(dib, data, size);
    if (length == 0) {
        if (dib.m_pInfo || dib.m_pBits || dib.m_pPalette || dib.GetWidth() || dib.GetHeight())
            return "a failed read left something loaded";
        return {};
    }
    if (length != size)
        return "read gave " + std::to_string(length) + " for a file of " + std::to_string(size);

    // The blocks as CDib holds them: bfOffBits + 1010 header bytes, the rest
    // of the file as pixels.
    const uint32_t offBits = U32(data + 10);
    CDibDecoder decoder;
    if (!decoder.Open(dib.m_pInfo.get(), size_t(offBits) + 1010, dib.m_pBits.get(), size - offBits))
        return "a loaded bitmap does not decode";
    const int32_t w = decoder.Width();
    const int32_t h = decoder.Height();
    if (w != dib.GetWidth() || h != dib.GetHeight() || w <= 0 || h <= 0)
        return "the loaded size is " + std::to_string(dib.GetWidth()) + " x " +
               std::to_string(dib.GetHeight()) + ", the decoder's " + std::to_string(w) + " x " +
               std::to_string(h);

    // Only the run-length codes may leave pixels of the picture unset. A
    // header too short to hold all of biCompression has zeros for the rest;
    // the 12-byte core header has none.
    const uint32_t headerSize = U32(data + 14);
    uint8_t header[40] = {};
    if (headerSize != 12)
        std::copy_n(data + 14, std::min<size_t>(headerSize, sizeof header), header);
    const uint32_t compression = U32(header + 16);
    const bool runLength = compression == 1 || compression == 2;
    std::vector<uint32_t> whole;
    if (int64_t(w) * h <= kMaxWholePixels) {
        whole.assign(size_t(w) * size_t(h), kUnset);
        decoder.DecodeRect({0, 0, w, h}, whole.data(), size_t(w));
        for (uint32_t p : whole) {
            if (p == kUnset ? !runLength : p >> 24 != 0xFF)
                return p == kUnset ? "a pixel of the picture was not decoded"
                                   : "a decoded pixel is not opaque";
        }
    }
    const CRect windows[] = {
        {-2, -2, 3, 3},
        {w - 2, h - 2, w + 2, h + 2},
        {w / 2 - 3, h / 2 - 5, w / 2 + 4, h / 2 + 2},
        {-1, h / 3, std::min(w, 2048) + 1, h / 3 + 3},
    };
    for (const CRect& rect : windows)
        if (std::string problem = CheckWindow(decoder, rect, whole); !problem.empty())
            return problem;
    // Windows with nothing of the picture in them write nowhere at all.
    for (const CRect& rect :
         {CRect{3, 3, 1, 1}, CRect{0, 0, 0, 0}, CRect{w, 0, w + 5, h}, CRect{0, -4, w, 0}})
        decoder.DecodeRect(rect, nullptr, 0);
    return {};
}

namespace {

// --- Map pictures and calibration files ---

constexpr int64_t kMaxDecodedPixels = int64_t(1) << 22;

// Keeps the decoded rows in memory and checks every call against the layout.
class CheckingSink : public CPictureSink {
public:
    bool Begin(const DecodedLayout& layout, std::string& problem) override {
        if (m_begun)
            m_broken = "Begin called twice";
        m_begun = true;
        m_layout = layout;
        if (layout.bitCount != 8 && layout.bitCount != 24 && layout.bitCount != 32)
            m_broken = "bit count " + std::to_string(layout.bitCount);
        if (layout.bitCount == 8 && (layout.palette.empty() || layout.palette.size() > 256))
            m_broken =
                "an 8-bit picture with " + std::to_string(layout.palette.size()) + " colours";
        if (layout.width <= 0 || layout.height <= 0 ||
            int64_t(layout.width) * layout.height > kMaxDecodedPixels) {
            problem = "too large for fuzzing";
            return false;
        }
        m_rows.assign(size_t(layout.height) * layout.RowBytes(), 0);
        m_put.assign(size_t(layout.height), false);
        return true;
    }
    bool PutRow(int32_t y, const uint8_t* row, std::string&) override {
        if (!Inside(y))
            return false;
        std::copy_n(row, m_layout.RowBytes(), m_rows.data() + size_t(y) * m_layout.RowBytes());
        m_put[size_t(y)] = true;
        return true;
    }
    bool GetRow(int32_t y, uint8_t* row, std::string&) override {
        if (!Inside(y))
            return false;
        std::copy_n(m_rows.data() + size_t(y) * m_layout.RowBytes(), m_layout.RowBytes(), row);
        return true;
    }
    bool Progress(uint64_t done, uint64_t total) override {
        if (done > total)
            m_broken = "progress past the total";
        return true;
    }
    std::string Check(const DecodeOutcome& out) const {
        if (!m_broken.empty())
            return m_broken;
        if (out.result == DecodeOutcome::Cancelled)
            return "cancelled without being asked";
        if (out.result == DecodeOutcome::Failed)
            return out.problem.empty() ? "a failure without a reason" : std::string();
        if (!m_begun)
            return "done without a picture";
        if (std::find(m_put.begin(), m_put.end(), false) != m_put.end())
            return "done with a row never put";
        return {};
    }

private:
    bool Inside(int32_t y) {
        if (m_begun && y >= 0 && y < m_layout.height)
            return true;
        m_broken = "row " + std::to_string(y) + " outside the picture";
        return false;
    }
    bool m_begun = false;
    DecodedLayout m_layout;
    std::vector<uint8_t> m_rows;
    std::vector<bool> m_put;
    std::string m_broken;
};

std::string DecodeThroughFile(DecodeOutcome (*decode)(std::FILE*, CPictureSink&),
                              const uint8_t* data, size_t size) {
    const int fd = memfd_create("ostrel-fuzz-picture", MFD_CLOEXEC);
    if (fd < 0)
        return {};
    if (size > 0 && write(fd, data, size) != ssize_t(size)) {
        close(fd);
        return {};
    }
    std::FILE* f = lseek(fd, 0, SEEK_SET) == 0 ? fdopen(fd, "rb") : nullptr;
    if (!f) {
        close(fd);
        return {};
    }
    CheckingSink sink;
    const DecodeOutcome out = decode(f, sink);
    std::fclose(f);
    return sink.Check(out);
}

void AskEachPoint(const CGeoreference& g) {
    for (const PixelXY& p : g.PointPixels())
        if (const std::optional<LonLat> at = g.PositionAt(p))
            (void)g.PixelAt(*at);
}

// A georeference read from a file has two points or more, all numbers, and
// PROJ either takes it or says why not. What it takes is asked where each
// point lies and back, for the sanitizers to watch.
std::string CheckGeoreference(const GeoreferenceDef& def) {
    if (def.points.size() < 2)
        return "a georeference with fewer than two points";
    for (const TiePoint& t : def.points)
        for (double v : {t.x, t.y, t.e, t.n})
            if (!std::isfinite(v))
                return "a point that is not a number";
    std::string problem;
    const std::unique_ptr<CGeoreference> g = CGeoreference::Create(def, problem);
    if (!g)
        return problem.empty() ? "a georeference refused without a reason" : std::string();
    AskEachPoint(*g);
    return {};
}

std::string CheckSidecar(const SidecarRead& read) {
    if (read.result == SidecarRead::Georeferenced)
        return CheckGeoreference(read.def);
    if (read.result != SidecarRead::Usable)
        return read.problem.empty() && read.result == SidecarRead::Unknown
                   ? "a projection without a name"
                   : std::string();
    if (read.hasPoints)
        return {};
    // Degrees become a georeference, as a window takes them.
    const SidecarCalibration side =
        CalibrationFromRead("fuzz", CalibrationSource::WorldFile, read, 1000, 800);
    if (side.result == SidecarCalibration::Found && !side.georef)
        return "degrees taken as two rounded points";
    if (side.georef)
        AskEachPoint(*side.georef);
    return {};
}

} // namespace

std::string FuzzPngDecode(const uint8_t* data, size_t size) {
    return DecodeThroughFile(DecodePng, data, size);
}

std::string FuzzJpegDecode(const uint8_t* data, size_t size) {
    return DecodeThroughFile(DecodeJpeg, data, size);
}

std::string FuzzTiffDecode(const uint8_t* data, size_t size) {
    return DecodeThroughFile(DecodeTiff, data, size);
}

std::string FuzzMapDataFile(const uint8_t* data, size_t size) {
    return CheckSidecar(ReadMapDataFile(Bytes(data, size)));
}

std::string FuzzWorldFile(const uint8_t* data, size_t size) {
    return CheckSidecar(ReadWorldFile(Bytes(data, size)));
}

namespace {

// --- GPX ---

std::string CheckGpxPoint(const GpxPoint& p) {
    if (!(std::fabs(p.position.lat) <= 90 && std::fabs(p.position.lon) <= 180))
        return "a point off the globe was read";
    if (p.altitude && !std::isfinite(*p.altitude))
        return "an elevation that is not a number was read";
    return {};
}

// Every point of `data` as a waypoint, named as it was.
std::vector<GpxWaypoint> AllPoints(const GpxData& data) {
    std::vector<GpxWaypoint> all = data.waypoints;
    for (const GpxRoute& route : data.routes)
        all.insert(all.end(), route.points.begin(), route.points.end());
    for (const GpxTrack& track : data.tracks)
        for (const std::vector<GpxPoint>& segment : track.segments)
            for (const GpxPoint& p : segment)
                all.push_back({p, {}, {}});
    return all;
}

std::string CheckSameWaypoint(const GpxWaypoint& a, const GpxWaypoint& b) {
    if (a.name != b.name || a.symbol != b.symbol)
        return "a name or symbol did not read back: " + a.name + " / " + a.symbol;
    if (std::fabs(a.position.lat - b.position.lat) > 1e-7 ||
        std::fabs(a.position.lon - b.position.lon) > 1e-7)
        return "a position did not read back";
    if (a.timeMs != b.timeMs)
        return "a time did not read back";
    if (a.altitude.has_value() != b.altitude.has_value() ||
        (a.altitude && std::fabs(*a.altitude - *b.altitude) > 0.05 + 1e-9 * std::fabs(*a.altitude)))
        return "an elevation did not read back";
    return {};
}

} // namespace

std::string FuzzGpxRead(const uint8_t* data, size_t size) {
    const GpxLimits limits;
    const GpxRead read = ReadGpxBytes(Bytes(data, size), "fuzz.gpx", limits);
    const GpxData& got = read.data;
    if (!read.message.empty()) {
        if (read.message.rfind("Cannot read \"fuzz.gpx\": ", 0) != 0)
            return "a failure that does not name the file: " + read.message;
        if (!got.waypoints.empty() || !got.routes.empty() || !got.tracks.empty())
            return "a failed read kept what it had read";
        return {};
    }
    const std::vector<GpxWaypoint> all = AllPoints(got);
    if (all.size() + read.skipped > limits.maxPoints)
        return "more points than the limit";
    size_t segments = 0;
    for (const GpxTrack& track : got.tracks)
        segments += track.segments.size();
    if (got.routes.size() + got.tracks.size() + segments > limits.maxParts)
        return "more routes, tracks and segments than the limit";
    for (const GpxWaypoint& w : all) {
        if (std::string problem = CheckGpxPoint(w); !problem.empty())
            return problem;
        if (w.name.size() > limits.maxText || w.symbol.size() > limits.maxText)
            return "a text longer than the limit";
    }
    const GpxRead back = ReadGpxBytes(FormatGpx({}, "fuzz", all), "back.gpx", limits);
    if (!back.message.empty())
        return "the points written back do not read: " + back.message;
    if (back.data.waypoints.size() != all.size() || back.skipped != 0)
        return "the points written back read as " + std::to_string(back.data.waypoints.size());
    for (size_t i = 0; i < all.size(); ++i)
        if (std::string problem = CheckSameWaypoint(all[i], back.data.waypoints[i]);
            !problem.empty())
            return problem;
    return {};
}
