#include "picture/picture_levels.h"

#include "picture/map_cache.h"
#include "platform/file_writes.h"
#include "platform/unique_fd.h"
#include "platform/unique_file.h"

#include <algorithm>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr size_t kLevelBlock = size_t(1) << 20; // [byte] a level gathers before writing
// Pixels of the picture a step of a build takes: a millisecond or so.
constexpr int64_t kBandPixels = int64_t(1) << 18;

// The rounded average of four 0x..RRGGBB pixels, channel by channel; the
// top byte comes out 0.
uint32_t Average4(uint32_t a, uint32_t b, uint32_t c, uint32_t d) {
    const uint32_t redBlue =
        (a & 0xFF00FF) + (b & 0xFF00FF) + (c & 0xFF00FF) + (d & 0xFF00FF) + 0x020002;
    const uint32_t green = (a & 0xFF00) + (b & 0xFF00) + (c & 0xFF00) + (d & 0xFF00) + 0x200;
    return (redBlue >> 2 & 0xFF00FF) | (green >> 2 & 0xFF00);
}

// Pixels of `out` from the byte sums of two rows of `bytes` bytes, Step
// bytes a pixel: each the rounded mean of a pixel's sums and its right
// neighbour's, the last pixel of an odd row with its own.
template <size_t Step>
void HalveSums(const uint16_t* sums, size_t bytes, uint32_t* out, size_t count) {
    auto pixel = [](const uint16_t* a, const uint16_t* b) {
        return uint32_t((a[0] + b[0] + 2) >> 2) | uint32_t((a[1] + b[1] + 2) >> 2) << 8 |
               uint32_t((a[2] + b[2] + 2) >> 2) << 16;
    };
    const size_t pairs = bytes / (2 * Step); // pixels with a right neighbour
    for (size_t x = 0; x < pairs; ++x)
        out[x] = pixel(sums + 2 * Step * x, sums + 2 * Step * x + Step);
    if (pairs < count)
        out[pairs] = pixel(sums + 2 * Step * pairs, sums + 2 * Step * pairs);
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

namespace {

// The bitmap header of level k of a w x h picture, and the size [byte] of
// the level's whole file.
std::string LevelHeader(int32_t w, int32_t h, int k, uint64_t& size) {
    DecodedLayout layout;
    layout.width = LevelSide(w, k);
    layout.height = LevelSide(h, k);
    layout.bitCount = 32;
    return BitmapHeaderFor(layout, size);
}

} // namespace

uint64_t LevelBytes(int32_t w, int32_t h) {
    uint64_t total = 0;
    for (int k = 1; k <= LevelCount(w, h); ++k) {
        uint64_t size = 0;
        LevelHeader(w, h, k, size);
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
    std::string buffered; // bytes not yet written
    UniqueFd fd;
    std::string temp, path;

    // The buffered bytes into the file; false with errno set when they
    // could not be.
    bool Flush() {
        const bool ok = WriteAll(fd.get(), buffered);
        buffered.clear();
        return ok;
    }
};

CLevelWriter::CLevelWriter(std::string entry) : m_strEntry(std::move(entry)) {}

CLevelWriter::~CLevelWriter() {
    Abandon();
}

void CLevelWriter::Abandon() {
    for (const auto& level : m_levels) {
        level->fd.reset();
        unlink(level->temp.c_str());
    }
    m_levels.clear();
}

bool CLevelWriter::Begin(int32_t w, int32_t h) {
    Abandon();
    m_nWidth = w;
    m_nHeight = h;
    m_nRowsIn = 0;
    m_pending.clear();
    const int count = LevelCount(w, h);
    for (int k = 1; k <= count; ++k) {
        auto level = std::make_unique<Level>();
        level->width = LevelSide(w, k);
        level->height = LevelSide(h, k);
        level->pending.resize(size_t(LevelSide(w, k - 1)));
        level->out.resize(size_t(level->width));
        level->path = LevelPath(m_strEntry, k);
        level->temp = level->path + ".part-" + std::to_string(getpid());
        // Through the page cache, unlike the entry: the levels are a third of
        // its size, so copying them costs the thread that makes them little,
        // they take no disk time while the entry is written, and they are
        // still in memory when the window is first zoomed out.
        level->fd.reset(open(level->temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600));
        uint64_t size = 0;
        level->buffered = LevelHeader(w, h, k, size);
        level->buffered.reserve(kLevelBlock);
        const bool opened = bool(level->fd);
        m_levels.push_back(std::move(level));
        if (!opened)
            break;
    }
    if (m_levels.size() != size_t(count) || count == 0 || !m_levels.back()->fd) {
        Abandon();
        return false;
    }
    return true;
}

bool CLevelWriter::PutRow(const uint8_t* row, int bytesPerPixel,
                          const std::vector<uint32_t>* palette) {
    if (m_levels.empty())
        return false;
    // Indexes are put in colours first: there is no sum of indexes.
    if (bytesPerPixel == 1) {
        m_indexed.resize(size_t(m_nWidth));
        for (int32_t x = 0; x < m_nWidth; ++x)
            m_indexed[size_t(x)] = palette && row[x] < palette->size() ? (*palette)[row[x]] : 0;
        row = reinterpret_cast<const uint8_t*>(m_indexed.data());
        bytesPerPixel = 4;
    }
    const size_t bytes = size_t(m_nWidth) * size_t(bytesPerPixel);
    const bool lastRow = ++m_nRowsIn >= m_nHeight;
    if (m_pending.empty() && !lastRow) {
        m_pending.assign(row, row + bytes);
        return true;
    }
    // The two rows' bytes summed in one plain loop the compiler can run on
    // many bytes at a time, then each 2 x 2 block from two neighbouring sums.
    const uint8_t* top = m_pending.empty() ? row : m_pending.data();
    m_sums.resize(bytes);
    for (size_t i = 0; i < bytes; ++i)
        m_sums[i] = uint16_t(top[i] + row[i]);
    m_first.resize(size_t(m_levels.front()->width));
    if (bytesPerPixel == 3)
        HalveSums<3>(m_sums.data(), bytes, m_first.data(), m_first.size());
    else
        HalveSums<4>(m_sums.data(), bytes, m_first.data(), m_first.size());
    m_pending.clear();
    if (!Emit(1, m_first.data())) {
        Abandon();
        return false;
    }
    return true;
}

// `row` is a row of level k; it goes into level k's file and is halved into
// level k + 1.
bool CLevelWriter::Emit(size_t k, const uint32_t* row) {
    Level& done = *m_levels[k - 1];
    const size_t bytes = size_t(done.width) * 4;
    if (done.buffered.size() + bytes > kLevelBlock && !done.Flush())
        return false;
    done.buffered.append(reinterpret_cast<const char*>(row), bytes);
    ++done.rowsOut;
    if (k == m_levels.size())
        return true;
    Level& next = *m_levels[k];
    const int32_t above = done.width;
    ++next.rowsIn;
    const bool lastRow = next.rowsIn >= done.height;
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
        ok = ok && level->rowsOut == level->height && level->Flush();
        // Closed by hand: a failed close can be the first report of a lost write.
        ok = close(level->fd.release()) == 0 && ok;
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

CLevelBuild::CLevelBuild(std::string entry, const CDib& base)
    : m_base(base), m_writer(std::move(entry)) {
    const int32_t w = base.GetWidth(), h = base.GetHeight();
    if (!m_decoder.Open(base.m_pInfo.get(), base.GetInfoSize(), base.m_pBits.get(),
                        base.GetBitsSize())) {
        Fail("its pixels cannot be read");
        return;
    }
    if (!m_writer.Begin(w, h)) {
        Fail();
        return;
    }
    m_nBandRows = int32_t(std::clamp<int64_t>(kBandPixels / std::max(w, 1), 1, h));
    m_band.resize(size_t(w) * size_t(m_nBandRows));
}

bool CLevelBuild::Fail(const char* why) {
    m_strProblem =
        why ? why
            : std::string("its reduced copies cannot be written (") + std::strerror(errno) + ")";
    m_writer.Abandon();
    m_bDone = true;
    return true;
}

bool CLevelBuild::Step() {
    if (m_bDone)
        return true;
    const int32_t w = m_base.GetWidth(), h = m_base.GetHeight();
    const int32_t rows = std::min(m_nBandRows, h - m_nRow);
    m_decoder.DecodeRect(CRect{0, m_nRow, w, m_nRow + rows}, m_band.data(), size_t(w));
    for (int32_t r = 0; r < rows; ++r)
        if (!m_writer.PutRow(m_band.data() + size_t(r) * size_t(w)))
            return Fail();
    m_nRow += rows;
    if (m_nRow < h)
        return false;
    if (!m_writer.Commit())
        return Fail();
    m_bDone = true;
    return true;
}

bool BuildLevels(const std::string& entry, const CDib& base, std::string& problem) {
    CLevelBuild build(entry, base);
    while (!build.Step()) {
    }
    problem = build.Problem();
    return problem.empty();
}

bool CPictureLevels::OpenOrBuild(const std::string& entry, const CDib& base, std::string& problem) {
    const int32_t w = base.GetWidth(), h = base.GetHeight();
    if (Open(entry, w, h) == LevelCount(w, h))
        return true;
    Free();
    if (!BuildLevels(entry, base, problem))
        return false;
    if (Open(entry, w, h) != LevelCount(w, h)) {
        problem = "its reduced copies cannot be read back";
        Free();
        return false;
    }
    return true;
}
