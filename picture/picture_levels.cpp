#include "picture/picture_levels.h"

#include "picture/map_cache.h"
#include "platform/dib_decoder.h"
#include "platform/unique_file.h"

#include <algorithm>
#include <cstring>
#include <unistd.h>

namespace {

constexpr size_t kLevelBuffer = size_t(1) << 20; // [byte] of stdio buffer per level file
constexpr int32_t kBandRows = 64;                // base rows decoded at a time

// The rounded average of four 0x..RRGGBB pixels, channel by channel; the
// top byte comes out 0.
uint32_t Average4(uint32_t a, uint32_t b, uint32_t c, uint32_t d) {
    const uint32_t redBlue =
        (a & 0xFF00FF) + (b & 0xFF00FF) + (c & 0xFF00FF) + (d & 0xFF00FF) + 0x020002;
    const uint32_t green = (a & 0xFF00) + (b & 0xFF00) + (c & 0xFF00) + (d & 0xFF00) + 0x200;
    return (redBlue >> 2 & 0xFF00FF) | (green >> 2 & 0xFF00);
}

} // namespace

int32_t LevelSide(int32_t side, int level) {
    return side <= 0 ? 0 : int32_t(((int64_t(side) - 1) >> level) + 1);
}

int LevelCount(int32_t w, int32_t h) {
    int n = 0;
    while (std::max(LevelSide(w, n), LevelSide(h, n)) > kLevelMinSide)
        ++n;
    return n;
}

std::string LevelPath(const std::string& entry, int level) {
    const std::string stem = entry.size() > 4 && entry.compare(entry.size() - 4, 4, ".bmp") == 0
                                 ? entry.substr(0, entry.size() - 4)
                                 : entry;
    return stem + ".L" + std::to_string(level) + ".bmp";
}

uint64_t LevelBytes(int32_t w, int32_t h) {
    uint64_t total = 0;
    for (int k = 1; k <= LevelCount(w, h); ++k) {
        uint64_t size = 0;
        DecodedLayout layout;
        layout.width = LevelSide(w, k);
        layout.height = LevelSide(h, k);
        layout.bitCount = 32;
        BitmapHeaderFor(layout, size);
        total += size;
    }
    return total;
}

struct CLevelWriter::Level {
    int32_t width = 0, height = 0; // [pixel]
    int32_t rowsIn = 0;            // rows of the level above taken
    int32_t rowsOut = 0;           // rows of this level written
    std::vector<uint32_t> pending; // an even row of the level above, waiting for its pair
    bool hasPending = false;
    std::vector<uint32_t> out;
    std::unique_ptr<char[]> buffer;
    UniqueFile file;
    std::string temp, path;
};

CLevelWriter::CLevelWriter(std::string entry) : m_strEntry(std::move(entry)) {}

CLevelWriter::~CLevelWriter() {
    Abandon();
}

void CLevelWriter::Abandon() {
    for (const auto& level : m_levels) {
        level->file.reset();
        unlink(level->temp.c_str());
    }
    m_levels.clear();
}

bool CLevelWriter::Begin(int32_t w, int32_t h) {
    Abandon();
    m_nHeight = h;
    const int count = LevelCount(w, h);
    for (int k = 1; k <= count; ++k) {
        auto level = std::make_unique<Level>();
        level->width = LevelSide(w, k);
        level->height = LevelSide(h, k);
        level->pending.resize(size_t(LevelSide(w, k - 1)));
        level->out.resize(size_t(level->width));
        level->path = LevelPath(m_strEntry, k);
        level->temp = level->path + ".part-" + std::to_string(getpid());
        level->file = OpenFile(level->temp.c_str(), "wb");
        DecodedLayout layout;
        layout.width = level->width;
        layout.height = level->height;
        layout.bitCount = 32;
        uint64_t size = 0;
        const std::string header = BitmapHeaderFor(layout, size);
        const bool opened = bool(level->file);
        m_levels.push_back(std::move(level));
        if (!opened)
            break;
        Level& l = *m_levels.back();
        l.buffer = std::make_unique<char[]>(kLevelBuffer);
        std::setvbuf(l.file.get(), l.buffer.get(), _IOFBF, kLevelBuffer);
        if (std::fwrite(header.data(), 1, header.size(), l.file.get()) != header.size())
            break;
    }
    if (m_levels.size() != size_t(count) || count == 0 || !m_levels.back()->file) {
        Abandon();
        return false;
    }
    return true;
}

bool CLevelWriter::PutRow(const uint32_t* row) {
    if (m_levels.empty())
        return false;
    if (!Emit(0, row)) {
        Abandon();
        return false;
    }
    return true;
}

// `row` is a row of level k (0 is the picture itself); it goes into level
// k's file (not for the picture) and is halved into level k + 1.
bool CLevelWriter::Emit(size_t k, const uint32_t* row) {
    if (k > 0) {
        Level& done = *m_levels[k - 1];
        const size_t bytes = size_t(done.width) * 4;
        if (std::fwrite(row, 1, bytes, done.file.get()) != bytes)
            return false;
        ++done.rowsOut;
    }
    if (k == m_levels.size())
        return true;
    Level& next = *m_levels[k];
    const int32_t above = int32_t(next.pending.size()); // the width of level k
    const int32_t aboveHeight = k == 0 ? m_nHeight : m_levels[k - 1]->height;
    ++next.rowsIn;
    const bool lastRow = next.rowsIn >= aboveHeight;
    if (!next.hasPending && !lastRow) {
        std::copy_n(row, above, next.pending.begin());
        next.hasPending = true;
        return true;
    }
    // A lone last row pairs with itself, and so does a lone last column.
    const uint32_t* top = next.hasPending ? next.pending.data() : row;
    next.hasPending = false;
    for (int32_t x = 0; x < next.width; ++x) {
        const int32_t x0 = 2 * x, x1 = std::min(2 * x + 1, above - 1);
        next.out[size_t(x)] = Average4(top[x0], top[x1], row[x0], row[x1]);
    }
    return Emit(k + 1, next.out.data());
}

bool CLevelWriter::Commit() {
    bool ok = !m_levels.empty();
    for (const auto& level : m_levels) {
        ok = ok && level->rowsOut == level->height && std::fflush(level->file.get()) == 0;
        // Closed by hand: a failed close can be the first report of a lost write.
        ok = std::fclose(level->file.release()) == 0 && ok;
    }
    for (const auto& level : m_levels)
        ok = ok && rename(level->temp.c_str(), level->path.c_str()) == 0;
    if (!ok) {
        for (const auto& level : m_levels) {
            unlink(level->path.c_str());
            unlink(level->temp.c_str());
        }
    }
    m_levels.clear();
    return ok;
}

int CPictureLevels::Open(const std::string& entry, int32_t w, int32_t h) {
    m_levels.clear();
    for (int k = 1; k <= LevelCount(w, h); ++k) {
        const UniqueFile f = OpenFile(LevelPath(entry, k).c_str(), "rb");
        auto dib = std::make_unique<CDib>();
        if (!f || dib->Read(f.get()) == 0 || dib->GetWidth() != LevelSide(w, k) ||
            dib->GetHeight() != LevelSide(h, k))
            break;
        m_levels.push_back(std::move(dib));
    }
    return Count();
}

bool CPictureLevels::OpenOrBuild(const std::string& entry, const CDib& base, std::string& problem) {
    const int32_t w = base.GetWidth(), h = base.GetHeight();
    const int count = LevelCount(w, h);
    if (Open(entry, w, h) == count)
        return true;
    Free();
    CDibDecoder decoder;
    CLevelWriter writer(entry);
    if (!decoder.Open(base.m_pInfo.get(), base.GetInfoSize(), base.m_pBits.get(),
                      base.GetBitsSize()) ||
        !writer.Begin(w, h)) {
        problem =
            std::string("its reduced copies cannot be written (") + std::strerror(errno) + ")";
        return false;
    }
    std::vector<uint32_t> band(size_t(w) * kBandRows);
    for (int32_t y = 0; y < h; y += kBandRows) {
        const int32_t rows = std::min(kBandRows, h - y);
        decoder.DecodeRect(CRect{0, y, w, y + rows}, band.data(), size_t(w));
        for (int32_t r = 0; r < rows; ++r) {
            if (!writer.PutRow(band.data() + size_t(r) * size_t(w))) {
                problem = std::string("its reduced copies cannot be written (") +
                          std::strerror(errno) + ")";
                return false;
            }
        }
    }
    if (!writer.Commit() || Open(entry, w, h) != count) {
        problem = "its reduced copies cannot be written";
        Free();
        return false;
    }
    return true;
}
