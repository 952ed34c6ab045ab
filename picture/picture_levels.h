#pragma once

#include "platform/dib_decoder.h"
#include "render/dib.h"

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

// Reduced copies of a map picture for drawing it zoomed out: level k is the
// picture at 1/2^k, each pixel the average of a 2 x 2 block of level k - 1
// (a lone last row or column is taken as it is), down to the first level of
// at most kLevelMinSide pixels a side. Each level is a 32-bit top-down bitmap
// file beside the picture's cache entry, "<entry>" with ".L<k>.bmp" for
// ".bmp", so that it is found, used and removed with the entry.
constexpr int32_t kLevelMinSide = 256; // [pixel]

// The number of levels of a w x h picture; 0 when it is small already.
int LevelCount(int32_t w, int32_t h);
// The size of level k of a w x h picture [pixel].
int32_t LevelSide(int32_t side, int level);
// The file of level k of the cache entry `entry`.
std::string LevelPath(const std::string& entry, int level);
// The bytes all levels of a w x h picture take on disk.
uint64_t LevelBytes(int32_t w, int32_t h);

// Builds the levels of a picture from its rows, taken in order from the top,
// in one pass: every two rows of one level give one row of the next. The
// files are written under temporary names and put in place together by
// Commit, so that a build cut off leaves no level that looks whole.
class CLevelWriter {
public:
    explicit CLevelWriter(std::string entry);
    ~CLevelWriter();
    CLevelWriter(const CLevelWriter&) = delete;
    CLevelWriter& operator=(const CLevelWriter&) = delete;

    // For a w x h picture; false when it needs no levels or they cannot be
    // written, and the writer then takes no rows.
    [[nodiscard]] bool Begin(int32_t w, int32_t h);
    bool Active() const { return !m_levels.empty(); }
    // The next row of the picture: w pixels of `bytesPerPixel` bytes, blue,
    // green, red (and one more byte that is ignored) for 3 and 4, an index
    // into `palette` (0xRRGGBB) for 1. False once a write has failed; the
    // writer then drops everything.
    bool PutRow(const uint8_t* row, int bytesPerPixel, const std::vector<uint32_t>* palette);
    bool PutRow(const uint32_t* row) {
        return PutRow(reinterpret_cast<const uint8_t*>(row), 4, nullptr);
    }
    // Puts the levels in place once every row is in. False when they could
    // not be, and nothing is left.
    [[nodiscard]] bool Commit();
    // Drops what was written.
    void Abandon();

private:
    struct Level;
    // Row `row` of level k is done: into its file, and halved into level k + 1.
    bool Emit(size_t k, const uint32_t* row);

    std::string m_strEntry;
    int32_t m_nWidth = 0;  // [pixel] of the picture
    int32_t m_nHeight = 0; // [pixel] of the picture
    int32_t m_nRowsIn = 0; // rows of the picture taken
    // The picture's last even row as given, waiting for its pair, and the
    // sums of the two rows' bytes.
    std::vector<uint8_t> m_pending;
    std::vector<uint16_t> m_sums;
    std::vector<uint32_t> m_indexed; // an indexed row in colours
    std::vector<uint32_t> m_first;   // a row of level 1
    std::vector<std::unique_ptr<Level>> m_levels;
};

// Builds every level of `base` as `entry` a band of rows at a time, so that
// the program's own thread makes them between its other work and a window
// stays usable meanwhile; the window draws from what it has. It reads only
// `base`, which must stay loaded while the build lives, and writes only its
// own files; a build destroyed before it is done leaves nothing.
class CLevelBuild {
public:
    CLevelBuild(std::string entry, const CDib& base);

    // Makes the next band, and puts the levels in place after the last.
    // True once the build has ended, the levels made or not.
    bool Step();
    // Why the levels could not be made; empty when they were.
    const std::string& Problem() const { return m_strProblem; }

private:
    // Ends the build: `why` it failed, or the last write's error.
    bool Fail(const char* why = nullptr);

    const CDib& m_base;
    CDibDecoder m_decoder;
    CLevelWriter m_writer;
    std::vector<uint32_t> m_band;
    int32_t m_nBandRows = 0; // rows of the picture a step takes
    int32_t m_nRow = 0;      // the row the next step starts at
    bool m_bDone = false;
    std::string m_strProblem;
};

// Builds every level of `base` as `entry` at once; false with the reason in
// `problem` when they cannot be written.
[[nodiscard]] bool BuildLevels(const std::string& entry, const CDib& base, std::string& problem);

// The levels of one picture as far as they are whole on disk.
class CPictureLevels {
public:
    // Opens the levels of the w x h picture kept as `entry`; a level that
    // is missing, cut short or of another size ends the row of levels.
    // Returns how many are open.
    int Open(const std::string& entry, int32_t w, int32_t h);
    // Opens the levels, building them all from `base` first unless they are
    // whole. False with the reason in `problem` when they cannot be built.
    [[nodiscard]] bool OpenOrBuild(const std::string& entry, const CDib& base,
                                   std::string& problem);
    // All the levels of a w x h picture are open.
    bool Whole(int32_t w, int32_t h) const { return Count() == LevelCount(w, h); }
    int Count() const { return int(m_levels.size()); }
    // Level k, 1 <= k <= Count().
    const CDib& Level(int k) const { return *m_levels[size_t(k - 1)]; }
    void Free() { m_levels.clear(); }

private:
    std::vector<std::unique_ptr<CDib>> m_levels;
};
