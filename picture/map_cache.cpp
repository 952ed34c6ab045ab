#include "picture/map_cache.h"

#include "picture/block_writer.h"
#include "platform/file_writes.h"
#include "platform/user_folders.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <map>
#include <memory>
#include <sys/statvfs.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

// [byte] of the entry's write blocks: with the alignment carried over from
// one to the next, each takes two huge pages.
constexpr size_t kEntryBlock = (size_t(4) << 20) - CBlockWriter::kDirectAlign;
constexpr const char* kEntrySuffix = ".bmp";
constexpr const char* kPartMark = ".part-";
// Leftovers of a decode older than this were cut off by a crash. [s]
constexpr time_t kStalePart = 24 * 3600;

void Put16(std::string& s, size_t at, uint32_t v) {
    s[at] = char(v & 0xFF);
    s[at + 1] = char(v >> 8 & 0xFF);
}
void Put32(std::string& s, size_t at, uint32_t v) {
    Put16(s, at, v & 0xFFFF);
    Put16(s, at + 2, v >> 16);
}

bool EndsWith(const std::string& s, const char* tail) {
    const size_t n = std::strlen(tail);
    return s.size() >= n && s.compare(s.size() - n, n, tail) == 0;
}

// "<entry>.L<k>.bmp": a reduced copy of an entry.
bool IsLevelFile(const std::string& path) {
    if (!EndsWith(path, kEntrySuffix))
        return false;
    size_t at = path.size() - std::strlen(kEntrySuffix);
    size_t digits = 0;
    while (at > 0 && path[at - 1] >= '0' && path[at - 1] <= '9') {
        --at;
        ++digits;
    }
    return digits > 0 && at >= 2 && path.compare(at - 2, 2, ".L") == 0;
}

struct Entry {
    std::string path;
    uint64_t size = 0;
    timespec used{};
};

std::vector<Entry> ListEntries(const std::string& dir) {
    std::vector<Entry> entries;
    DIR* d = opendir(dir.c_str());
    if (!d)
        return entries;
    const time_t now = time(nullptr);
    while (dirent* e = readdir(d)) {
        const std::string name = e->d_name;
        const std::string path = dir + "/" + name;
        struct stat st {};
        if (lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
            continue;
        if (name.find(kPartMark) != std::string::npos) {
            if (now - st.st_mtime > kStalePart)
                unlink(path.c_str());
            continue;
        }
        if (EndsWith(name, kEntrySuffix))
            entries.push_back({path, uint64_t(st.st_size), st.st_mtim});
    }
    closedir(d);
    return entries;
}

} // namespace

CMapCache::CMapCache(std::string dir, uint64_t limit) : m_strDir(std::move(dir)), m_nLimit(limit) {}

std::string CMapCache::DefaultDir() {
    return UserFolder("XDG_CACHE_HOME", ".cache", "ostrel");
}

std::string CMapCache::EntryPath(const std::string& path, const struct stat& st) const {
    // FNV-1a over what identifies one version of one file.
    uint64_t hash = 0xcbf29ce484222325ull;
    auto mix = [&hash](const void* data, size_t n) {
        for (size_t i = 0; i < n; ++i) {
            hash ^= static_cast<const uint8_t*>(data)[i];
            hash *= 0x100000001b3ull;
        }
    };
    mix(path.data(), path.size() + 1);
    const int64_t fields[] = {int64_t(st.st_size), int64_t(st.st_mtim.tv_sec),
                              int64_t(st.st_mtim.tv_nsec)};
    mix(fields, sizeof fields);
    char name[32];
    std::snprintf(name, sizeof name, "%016llx", static_cast<unsigned long long>(hash));
    return m_strDir + "/" + name + kEntrySuffix;
}

void CMapCache::Touch(const std::string& entry) const {
    utimensat(AT_FDCWD, entry.c_str(), nullptr, 0);
}

uint64_t CMapCache::Size() const {
    uint64_t total = 0;
    for (const Entry& e : ListEntries(m_strDir))
        total += e.size;
    return total;
}

void CMapCache::Trim(uint64_t incoming, const std::string& keep) const {
    std::vector<Entry> entries = ListEntries(m_strDir);
    uint64_t total = incoming;
    for (const Entry& e : entries)
        total += e.size;
    std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) {
        return a.used.tv_sec != b.used.tv_sec ? a.used.tv_sec < b.used.tv_sec
                                              : a.used.tv_nsec < b.used.tv_nsec;
    });
    std::map<std::string, uint64_t> sizes;
    for (const Entry& e : entries)
        sizes[e.path] = e.size;
    for (const Entry& e : entries) {
        if (total <= m_nLimit)
            break;
        if (e.path == keep || IsLevelFile(e.path) || unlink(e.path.c_str()) != 0)
            continue;
        total -= e.size;
        // Its reduced copies are of no use without it.
        for (int k = 1;; ++k) {
            const auto level = sizes.find(LevelPath(e.path, k));
            if (level == sizes.end())
                break;
            if (unlink(level->first.c_str()) == 0)
                total -= level->second;
        }
    }
    // Reduced copies whose entry is gone, oldest first, if still over.
    for (const Entry& e : entries) {
        if (total <= m_nLimit)
            break;
        if (IsLevelFile(e.path) && unlink(e.path.c_str()) == 0)
            total -= e.size;
    }
}

bool CMapCache::Prepare(std::string& problem) const {
    if (MakeFolders(m_strDir, 0700))
        return true;
    problem =
        "the map cache folder \"" + m_strDir + "\" cannot be made (" + std::strerror(errno) + ")";
    return false;
}

uint16_t StoredBitCount(const DecodedLayout& layout) {
    if (layout.bitCount != 8)
        return layout.bitCount;
    return layout.palette.size() <= 2 ? 1 : layout.palette.size() <= 16 ? 4 : 8;
}

std::string BitmapHeaderFor(const DecodedLayout& layout, uint64_t& fileSize) {
    const size_t colours = layout.bitCount == 8 ? layout.palette.size() : 0;
    const uint16_t bits = StoredBitCount(layout);
    const uint64_t offBits = 14 + 40 + 4 * colours;
    const uint64_t stride = (uint64_t(layout.width) * bits + 31) / 32 * 4;
    fileSize = offBits + stride * uint64_t(layout.height);
    std::string h(offBits, '\0');
    h[0] = 'B';
    h[1] = 'M';
    Put32(h, 2, uint32_t(std::min<uint64_t>(fileSize, UINT32_MAX)));
    Put32(h, 10, uint32_t(offBits));
    Put32(h, 14, 40);
    Put32(h, 18, uint32_t(layout.width));
    Put32(h, 22, uint32_t(-layout.height)); // top-down rows
    Put16(h, 26, 1);
    Put16(h, 28, bits);
    Put32(h, 34, uint32_t(std::min<uint64_t>(stride * uint64_t(layout.height), UINT32_MAX)));
    Put32(h, 46, uint32_t(colours));
    for (size_t i = 0; i < colours; ++i) {
        const uint32_t c = layout.palette[i];
        h[54 + 4 * i] = char(c & 0xFF);
        h[55 + 4 * i] = char(c >> 8 & 0xFF);
        h[56 + 4 * i] = char(c >> 16 & 0xFF);
    }
    return h;
}

CCacheEntryWriter::CCacheEntryWriter(const CMapCache& cache, std::string entry, ProgressFn progress,
                                     bool levels)
    : m_cache(cache), m_strEntry(std::move(entry)),
      m_strTemp(m_strEntry + kPartMark + std::to_string(getpid())), m_progress(std::move(progress)),
      m_bLevels(levels), m_levels(m_strEntry) {}

CCacheEntryWriter::~CCacheEntryWriter() {
    m_writer.reset(); // a cancelled decode: what is queued is not written
    if (m_fd) {
        m_fd.reset();
        unlink(m_strTemp.c_str());
    }
}

bool CCacheEntryWriter::Fail(const char* what, std::string& problem) {
    problem = std::string(what) + " the map cache \"" + m_cache.Dir() + "\" (" +
              std::strerror(errno) + ")";
    return false;
}

bool CCacheEntryWriter::Begin(const DecodedLayout& layout, std::string& problem) {
    uint64_t fileSize = 0;
    const std::string header = BitmapHeaderFor(layout, fileSize);
    if (layout.width <= 0 || layout.height <= 0 || layout.width > kMaxSide ||
        layout.height > kMaxSide || fileSize > kMaxEntryBytes || fileSize > m_cache.Limit()) {
        problem = "the picture is too large (" + std::to_string(layout.width) + " x " +
                  std::to_string(layout.height) +
                  " pixels): Ostrel shows scans of up to 1000000 pixels a side whose decoded "
                  "copy stays under 4 GiB";
        return false;
    }
    m_cache.Trim(fileSize + LevelBytes(layout.width, layout.height));
    struct statvfs fs {};
    if (statvfs(m_cache.Dir().c_str(), &fs) == 0 &&
        uint64_t(fs.f_bavail) * fs.f_frsize < fileSize) {
        problem = "there is no room for it in the map cache \"" + m_cache.Dir() + "\"";
        return false;
    }
    // Straight to the disk where the file system allows it (see CBlockWriter).
    m_bDirect = true;
    m_fd.reset(open(m_strTemp.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC | O_DIRECT, 0600));
    if (!m_fd) {
        m_bDirect = false;
        m_fd.reset(open(m_strTemp.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0600));
    }
    if (!m_fd)
        return Fail("it cannot be written to", problem);
    m_nOffBits = header.size();
    m_nFileSize = fileSize;
    m_nRowBytes = layout.RowBytes();
    m_nWidth = uint64_t(layout.width);
    m_nBits = StoredBitCount(layout);
    m_nStride = (m_nWidth * m_nBits + 31) / 32 * 4;
    m_row.assign(m_nStride, 0);
    // The whole file's room is taken now, so that a full disk is found
    // before the decode rather than half-way through it.
    if (const int error = posix_fallocate(m_fd.get(), 0, off_t(fileSize)); error != 0) {
        errno = error;
        return Fail("it cannot be written to", problem);
    }
    // Without room for the levels the entry is still made; they are made
    // again when first needed.
    CBlockWriter::Reader reader;
    if (m_bLevels && m_levels.Begin(layout.width, layout.height)) {
        m_layout = layout;
        m_nLevelRow = 0;
        m_nLevelAt = m_bDirect ? 0 : m_nOffBits;
        m_nSplit = 0;
        m_split.resize(StoredRowBytes());
        reader = [this](const uint8_t* bytes, off_t at, size_t size) {
            ReadLevelRows(bytes, at, size);
        };
    }
    m_writer = std::make_unique<CBlockWriter>(m_fd.get(), m_bDirect, kEntryBlock, reader);
    m_nNextRow = 0;
    if (m_bDirect)
        std::memcpy(m_writer->Append(0, header.size(), header.size()), header.data(),
                    header.size());
    else if (!PwriteAll(m_fd.get(), header.data(), header.size(), 0))
        return Fail("it cannot be written to", problem);
    return true;
}

off_t CCacheEntryWriter::RowAt(int32_t y) const {
    return off_t(m_nOffBits + uint64_t(y) * m_nStride);
}

bool CCacheEntryWriter::StopBackgroundWrites(bool done) {
    bool written = !m_writer || m_writer->Finish();
    m_writer.reset();
    m_pInPlace = nullptr;
    // Rows put from now on, or again, are not seen by the levels.
    if (!done || m_nLevelRow < m_layout.height)
        m_levels.Abandon();
    if (written && m_bDirect) {
        // In place from now on, through the page cache; the padding of the
        // last direct block is cut off again.
        m_bDirect = false;
        m_fd.reset(open(m_strTemp.c_str(), O_RDWR | O_CLOEXEC));
        written = m_fd && ftruncate(m_fd.get(), off_t(m_nFileSize)) == 0;
    }
    return written;
}

bool CCacheEntryWriter::TakeRow(int32_t y) {
    // Direct writes cannot leave gaps: from a row out of order on, rows go
    // in place.
    return !(m_writer && m_bDirect && y != m_nNextRow) || StopBackgroundWrites();
}

uint8_t* CCacheEntryWriter::RowBuffer(int32_t y) {
    if (!TakeRow(y))
        return nullptr;
    if (!m_writer || m_nBits < 8)
        return nullptr;
    uint8_t* place = m_writer->Append(RowAt(y), m_nRowBytes, m_nStride);
    m_pInPlace = place;
    return place;
}

void CCacheEntryWriter::Store(const uint8_t* row, uint8_t* stored) const {
    if (m_nBits >= 8) {
        std::copy_n(row, m_nRowBytes, stored);
        return;
    }
    // Indexes packed from the left, high bits first, as bitmaps keep them.
    const unsigned perByte = 8 / m_nBits;
    for (size_t i = 0; i < (m_nWidth + perByte - 1) / perByte; ++i) {
        unsigned byte = 0;
        for (unsigned k = 0; k < perByte; ++k) {
            const size_t x = i * perByte + k;
            byte = byte << m_nBits | (x < m_nWidth ? row[x] & ((1u << m_nBits) - 1) : 0);
        }
        stored[i] = uint8_t(byte);
    }
}

void CCacheEntryWriter::Load(const uint8_t* stored, uint8_t* row) const {
    if (m_nBits >= 8)
        std::copy_n(stored, m_nRowBytes, row);
    else
        UnpackIndexes(stored, m_nBits, m_nWidth, row);
}

void CCacheEntryWriter::ReadLevelRows(const uint8_t* bytes, off_t at, size_t size) {
    if (!m_levels.Active())
        return;
    if (uint64_t(at) != m_nLevelAt) {
        m_levels.Abandon(); // rows out of order
        return;
    }
    m_nLevelAt += size;
    const uint64_t end = uint64_t(at) + size;
    const size_t stored = m_split.size();
    while (m_nLevelRow < m_layout.height && m_levels.Active()) {
        // The next byte of the row that the levels take next.
        const uint64_t next = uint64_t(RowAt(m_nLevelRow)) + m_nSplit;
        if (next >= end)
            return;
        const uint8_t* from = bytes + (next - uint64_t(at));
        const size_t take = size_t(std::min<uint64_t>(stored - m_nSplit, end - next));
        if (m_nSplit == 0 && take == stored) {
            PutLevelRow(from);
            continue;
        }
        std::copy_n(from, take, m_split.begin() + ptrdiff_t(m_nSplit));
        m_nSplit += take;
        if (m_nSplit == stored) {
            m_nSplit = 0;
            PutLevelRow(m_split.data());
        }
    }
}

void CCacheEntryWriter::PutLevelRow(const uint8_t* stored) {
    ++m_nLevelRow;
    if (m_nBits < 8) {
        m_indexes.resize(m_nWidth);
        Load(stored, m_indexes.data());
        stored = m_indexes.data();
    }
    m_levels.PutRow(stored, m_layout.bitCount / 8, &m_layout.palette);
}

bool CCacheEntryWriter::PutRow(int32_t y, const uint8_t* row, std::string& problem) {
    if (!TakeRow(y))
        return Fail("it cannot be written to", problem);
    m_nNextRow = y + 1;
    const off_t at = RowAt(y);
    if (m_writer) {
        if (row != std::exchange(m_pInPlace, nullptr))
            Store(row, m_writer->Append(at, StoredRowBytes(), m_nStride));
        if (!m_writer->Succeeded())
            return Fail("it cannot be written to", problem);
        return true;
    }
    Store(row, m_row.data());
    if (!PwriteAll(m_fd.get(), m_row.data(), m_nStride, at))
        return Fail("it cannot be written to", problem);
    return true;
}

bool CCacheEntryWriter::GetRow(int32_t y, uint8_t* row, std::string& problem) {
    // Rows that come again in later passes cannot be halved as they pass.
    if (!StopBackgroundWrites())
        return Fail("it cannot be written to", problem);
    if (pread(m_fd.get(), m_row.data(), m_nStride, RowAt(y)) != ssize_t(m_nStride))
        return Fail("it cannot be read back from", problem);
    Load(m_row.data(), row);
    return true;
}

bool CCacheEntryWriter::Progress(uint64_t done, uint64_t total) {
    return !m_progress || m_progress(done * m_nWidth, total * m_nWidth);
}

bool CCacheEntryWriter::Commit(std::string& problem) {
    if (!StopBackgroundWrites(true))
        return Fail("it cannot be written to", problem);
    // Closed by hand: a failed close can be the first report of a lost write.
    if (close(m_fd.release()) != 0 || rename(m_strTemp.c_str(), m_strEntry.c_str()) != 0) {
        const int error = errno;
        unlink(m_strTemp.c_str());
        errno = error;
        return Fail("it cannot be written to", problem);
    }
    // Levels that cannot be put in place are made again when first needed.
    if (m_levels.Active())
        (void)m_levels.Commit();
    return true;
}
