#include "track/track_journal.h"

#include "platform/user_folders.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr std::string_view kSuffix = ".track";

// Takes back the `count` bytes just appended to `fd` (a line the disk had
// room for only in part), so that the file holds whole lines only.
void TakeBack(int fd, ssize_t count) {
    struct stat info {};
    if (count <= 0 || fstat(fd, &info) != 0 || info.st_size < count)
        return;
    // Should this fail, the line stays torn: OpenDay ends it before the next
    // point, and readers pass it over.
    [[maybe_unused]] const int result = ftruncate(fd, info.st_size - count);
}

// The first point among the whole lines of `text`.
std::optional<TrackPoint> FirstPoint(std::string_view text) {
    for (size_t start = 0, end; (end = text.find('\n', start)) != std::string_view::npos;
         start = end + 1)
        if (std::optional<TrackPoint> point = ParseJournalLine(text.substr(start, end - start)))
            return point;
    return std::nullopt;
}

// The last point among the whole lines of `text`, which begins at a line's start.
std::optional<TrackPoint> LastPoint(std::string_view text) {
    // What follows the last line feed is a torn line.
    text = text.substr(0, text.rfind('\n') + 1);
    while (!text.empty()) {
        text.remove_suffix(1); // the line's line feed
        const size_t start = text.rfind('\n') + 1;
        if (std::optional<TrackPoint> point = ParseJournalLine(text.substr(start)))
            return point;
        text = text.substr(0, start);
    }
    return std::nullopt;
}

// Fills in `day` from its file, reading points only near the file's ends:
// its lines are counted by their line feeds, so that a long journal lists at
// once. False when the file holds no point.
bool ReadJournalDay(JournalDay& day) {
    UniqueFd fd(open(day.path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    struct stat info {};
    if (!fd || fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode))
        return false;
    char buffer[65536];
    std::optional<TrackPoint> first;
    size_t lines = 0;
    off_t size = 0; // [byte] read
    for (ssize_t n; (n = read(fd.get(), buffer, sizeof buffer)) > 0; size += n) {
        if (size == 0)
            first = FirstPoint(std::string_view(buffer, size_t(n)));
        lines += size_t(std::count(buffer, buffer + n, '\n'));
    }
    const off_t from = std::max<off_t>(0, size - off_t(sizeof buffer));
    const ssize_t n = pread(fd.get(), buffer, size_t(size - from), from);
    std::string_view tail(buffer, n > 0 ? size_t(n) : 0);
    if (from > 0) {
        // From the first line that begins in it.
        const size_t lineFeed = tail.find('\n');
        tail = lineFeed == std::string_view::npos ? std::string_view() : tail.substr(lineFeed + 1);
    }
    const std::optional<TrackPoint> last = LastPoint(tail);
    if (first && last) {
        day.points = lines;
        day.firstMs = first->timeMs;
        day.lastMs = last->timeMs;
        return true;
    }
    // No point near an end: a damaged file, read whole.
    const std::vector<TrackPoint> points = ReadJournalFile(day.path);
    if (points.empty())
        return false;
    day.points = points.size();
    day.firstMs = points.front().timeMs;
    day.lastMs = points.back().timeMs;
    return true;
}

} // namespace

std::string DefaultJournalFolder() {
    return UserFolder("XDG_DATA_HOME", ".local/share", "ostrel/track");
}

CTrackJournal::CTrackJournal(std::string folder) : m_strFolder(std::move(folder)) {}

CTrackJournal::~CTrackJournal() {
    Sync();
}

std::string CTrackJournal::Failed(const std::string& message) {
    if (m_bFailing)
        return {};
    m_bFailing = true;
    return message;
}

std::string CTrackJournal::OpenDay(const std::string& day) {
    Sync();
    m_fd.reset();
    m_strDay.clear();
    if (!MakeFolders(m_strFolder, 0755))
        return "Cannot make the track folder \"" + m_strFolder + "\": " + std::strerror(errno);
    const std::string path = m_strFolder + "/" + day + std::string(kSuffix);
    UniqueFd fd(open(path.c_str(), O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644));
    if (!fd)
        return "Cannot write the track \"" + path + "\": " + std::strerror(errno);
    // A line torn by a kill or a full disk is ended first, so that it cannot
    // swallow the next point.
    struct stat info {};
    char last = '\n';
    if (fstat(fd.get(), &info) == 0 && info.st_size > 0 &&
        pread(fd.get(), &last, 1, info.st_size - 1) == 1 && last != '\n' &&
        write(fd.get(), "\n", 1) != 1)
        return "Cannot write the track \"" + path + "\": " + std::strerror(errno);
    m_fd = std::move(fd);
    m_strDay = day;
    return {};
}

std::string CTrackJournal::Append(const TrackPoint& point, int64_t nowMs) {
    const std::string day = FormatUtcDay(point.timeMs);
    if (!m_fd || day != m_strDay) {
        if (std::string message = OpenDay(day); !message.empty())
            return Failed(message);
    }
    const std::string line = FormatJournalLine(point);
    const ssize_t written = write(m_fd.get(), line.data(), line.size());
    if (written != ssize_t(line.size())) {
        const int error = written < 0 ? errno : ENOSPC;
        TakeBack(m_fd.get(), written);
        m_fd.reset();
        return Failed("Cannot write the track \"" + m_strFolder + "/" + day + std::string(kSuffix) +
                      "\": " + std::strerror(error));
    }
    m_bFailing = false;
    m_bUnsynced = true;
    SyncIfDue(nowMs);
    return {};
}

void CTrackJournal::SyncIfDue(int64_t nowMs) {
    if (m_bUnsynced && nowMs - m_nLastSyncMs >= kSyncPeriodMs) {
        Sync();
        m_nLastSyncMs = nowMs;
    }
}

void CTrackJournal::Sync() {
    if (m_fd && m_bUnsynced)
        fdatasync(m_fd.get());
    m_bUnsynced = false;
}

std::vector<TrackPoint> ReadJournalFile(const std::string& path) {
    std::vector<TrackPoint> points;
    UniqueFd fd(open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    struct stat info {};
    if (!fd || fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode))
        return points;
    std::string text;
    char buffer[65536];
    for (ssize_t n; (n = read(fd.get(), buffer, sizeof buffer)) > 0;)
        text.append(buffer, size_t(n));
    // Only lines ended by a line feed are whole; a kill can leave the last one torn.
    size_t start = 0;
    for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
        if (std::optional<TrackPoint> point =
                ParseJournalLine(std::string_view(text).substr(start, end - start)))
            points.push_back(*point);
    return points;
}

std::vector<JournalDay> ListJournalDays(const std::string& folder) {
    std::vector<JournalDay> days;
    DIR* dir = opendir(folder.c_str());
    if (!dir)
        return days;
    while (const dirent* entry = readdir(dir)) {
        const std::string name = entry->d_name;
        if (name.size() != 10 + kSuffix.size() || !name.ends_with(kSuffix))
            continue;
        JournalDay day;
        day.day = name.substr(0, 10);
        day.path = folder + "/" + name;
        if (ReadJournalDay(day))
            days.push_back(std::move(day));
    }
    closedir(dir);
    std::sort(days.begin(), days.end(),
              [](const JournalDay& a, const JournalDay& b) { return a.day < b.day; });
    return days;
}
