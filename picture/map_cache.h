#pragma once

#include "picture/picture_decoder.h"
#include "picture/picture_levels.h"
#include "platform/unique_fd.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <sys/stat.h>

// Decoded scans, each kept as a top-down bitmap file under
// $XDG_CACHE_HOME/ostrel/ (~/.cache/ostrel/ by default), named after the
// picture's path, size and modification time, so that a changed file is
// decoded again. The folder is kept under its limit by removing the entries
// used least recently (their modification time is their last use).
class CMapCache {
public:
    static constexpr uint64_t kDefaultLimit = uint64_t(8) << 30; // [byte]

    explicit CMapCache(std::string dir = DefaultDir(), uint64_t limit = kDefaultLimit);
    static std::string DefaultDir();

    const std::string& Dir() const { return m_strDir; }
    uint64_t Limit() const { return m_nLimit; }
    // Where the picture `path` with the status `st` is kept.
    std::string EntryPath(const std::string& path, const struct stat& st) const;
    // Marks an entry as just used.
    void Touch(const std::string& entry) const;
    // Removes the least recently used entries, each with its reduced
    // copies, until `incoming` more bytes fit under the limit; `keep` is
    // never removed. Leftovers of decodes that were cut off by a crash go too.
    void Trim(uint64_t incoming, const std::string& keep = std::string()) const;
    // The bytes the entries take now.
    uint64_t Size() const;
    // Creates the folder. False with the reason in `problem`.
    [[nodiscard]] bool Prepare(std::string& problem) const;

private:
    std::string m_strDir;
    uint64_t m_nLimit;
};

class CBlockWriter;

// A sink writing the decoded rows into a new entry of the cache: a top-down
// bitmap file, written under a temporary name and renamed into place only
// when complete, so that a cancelled or failed decode leaves nothing. The
// rows go to the disk on a thread of their own while the decoder goes on,
// until a decoder reads rows back (interlaced pictures); from then on they
// are written in place. The entry's reduced copies are made from the same
// rows on a third thread, as the rows are written, unless a decoder reads
// rows back or puts them out of order; they are then made when first needed.
class CCacheEntryWriter : public CPictureSink {
public:
    // Hears of the pixels done, not the rows.
    using ProgressFn = std::function<bool(uint64_t done, uint64_t total)>;
    // `levels` false leaves the reduced copies to be made when first needed.
    CCacheEntryWriter(const CMapCache& cache, std::string entry, ProgressFn progress,
                      bool levels = true);
    ~CCacheEntryWriter() override;

    bool Begin(const DecodedLayout& layout, std::string& problem) override;
    uint8_t* RowBuffer(int32_t y) override;
    bool PutRow(int32_t y, const uint8_t* row, std::string& problem) override;
    bool GetRow(int32_t y, uint8_t* row, std::string& problem) override;
    bool Progress(uint64_t done, uint64_t total) override;
    // Puts the finished entry in place. False with the reason in `problem`.
    [[nodiscard]] bool Commit(std::string& problem);

private:
    bool Fail(const char* what, std::string& problem);
    // Waits for the rows still queued and writes in place from then on.
    // False when one of them could not be written. The reduced copies are
    // dropped unless the decode is `done` and they have taken every row.
    bool StopBackgroundWrites(bool done = false);
    // Row y is about to come: a row out of order stops the background
    // writes. False when the rows queued before it could not be written.
    bool TakeRow(int32_t y);
    // Where row y starts in the file. [byte]
    off_t RowAt(int32_t y) const;
    // The bytes of a row as stored, without its padding.
    size_t StoredRowBytes() const { return (m_nWidth * m_nBits + 7) / 8; }
    // A decoded row as stored (indexes packed where the palette allows),
    // and back.
    void Store(const uint8_t* row, uint8_t* stored) const;
    void Load(const uint8_t* stored, uint8_t* row) const;
    // Bytes of the file as they are written, on the writer's reading
    // thread: each row among them goes into the reduced copies.
    void ReadLevelRows(const uint8_t* bytes, off_t at, size_t size);
    // The next row as stored, into the reduced copies.
    void PutLevelRow(const uint8_t* stored);

    const CMapCache& m_cache;
    std::string m_strEntry;
    std::string m_strTemp;
    ProgressFn m_progress;
    UniqueFd m_fd;
    uint64_t m_nOffBits = 0;  // [byte]
    uint64_t m_nFileSize = 0; // [byte]
    bool m_bDirect = false;   // the file is open for direct writes
    int32_t m_nNextRow = 0;   // the row that follows the last one put
    size_t m_nRowBytes = 0;   // [byte] as decoded
    uint64_t m_nWidth = 0;    // [pixel]
    uint16_t m_nBits = 0;     // [bit] a pixel as stored
    size_t m_nStride = 0;     // [byte] as stored, a multiple of 4
    std::vector<uint8_t> m_row;
    std::unique_ptr<CBlockWriter> m_writer;
    const uint8_t* m_pInPlace = nullptr; // the last RowBuffer handed out
    // The reduced copies and what they have taken: touched only by the
    // writer's reading thread while there is a writer.
    bool m_bLevels;
    CLevelWriter m_levels;
    DecodedLayout m_layout;
    int32_t m_nLevelRow = 0;      // the row the levels take next
    uint64_t m_nLevelAt = 0;      // the file offset the next block must start at [byte]
    std::vector<uint8_t> m_split; // a row split between two blocks, as far as read
    size_t m_nSplit = 0;          // [byte] of it read
    std::vector<uint8_t> m_indexes;
};

// The most a cache entry may take: the bitmap reader counts a file's
// length in 32 bits. [byte]
constexpr uint64_t kMaxEntryBytes = UINT32_MAX;
// The widest and tallest picture taken, far past any scan. [pixel]
constexpr int32_t kMaxSide = 1000000;

// The bits a pixel of `layout` takes in the cache: pictures of up to 2 or
// 16 colours keep 1 or 4 bits a pixel, so that a bilevel scan takes an
// eighth of the room.
uint16_t StoredBitCount(const DecodedLayout& layout);

// The bitmap file of a decoded picture: file header, 40-byte info header
// with a negative height (rows from the top), colour table. Its size [byte]
// and the offset of its rows follow from `layout`.
std::string BitmapHeaderFor(const DecodedLayout& layout, uint64_t& fileSize);
