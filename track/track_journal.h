#pragma once

#include "platform/unique_fd.h"
#include "track/track_point.h"

#include <cstdint>
#include <string>
#include <vector>

// Where the journals live: $XDG_DATA_HOME/ostrel/track, or
// ~/.local/share/ostrel/track without it.
std::string DefaultJournalFolder();

// The track journal: one file a UTC day ("YYYY-MM-DD.track") in a folder,
// one line a point (FormatJournalLine), each appended with one write, so
// that a kill leaves at most a torn last line. The data reach the disk at
// least every kSyncPeriodMs and when the journal closes. Nothing is ever
// deleted.
class CTrackJournal {
public:
    static constexpr int64_t kSyncPeriodMs = 5000; // [ms]

    explicit CTrackJournal(std::string folder);
    ~CTrackJournal(); // syncs
    CTrackJournal(const CTrackJournal&) = delete;
    CTrackJournal& operator=(const CTrackJournal&) = delete;

    // Appends `point` to its day's file; `nowMs` [ms, any clock that only
    // goes forward] times the syncs. Empty when written, or while a failure
    // goes on that was already reported; otherwise the message to show once.
    // Every call tries again, so the journal resumes by itself.
    [[nodiscard]] std::string Append(const TrackPoint& point, int64_t nowMs);
    // Syncs when the last sync is kSyncPeriodMs old and something is unsynced.
    void SyncIfDue(int64_t nowMs);

    const std::string& Folder() const { return m_strFolder; }

private:
    // Opens the file of `day`, making the folders; a message on failure.
    std::string OpenDay(const std::string& day);
    std::string Failed(const std::string& message);
    void Sync();

    std::string m_strFolder;
    std::string m_strDay; // the day m_fd belongs to
    UniqueFd m_fd;
    bool m_bUnsynced = false;
    int64_t m_nLastSyncMs = 0;
    bool m_bFailing = false; // a failure was reported and no write has worked since
};

// The points of one journal file, in file order; lines that are not points
// (a torn last line after a kill) are passed over. Empty when it cannot be read.
std::vector<TrackPoint> ReadJournalFile(const std::string& path);

// One day's journal, as the export lists it.
struct JournalDay {
    std::string day;     // "YYYY-MM-DD"
    std::string path;    // the file
    size_t points = 0;   // its whole lines (one torn by a crash counts too)
    int64_t firstMs = 0; // [ms] the first point's time
    int64_t lastMs = 0;  // [ms] the last point's time
};

// The days in `folder` that hold at least one point, oldest first. Only the
// lines near each file's ends are read as points.
std::vector<JournalDay> ListJournalDays(const std::string& folder);
