#include "map/calibration_store.h"

#include "gps/gps_receiver.h"
#include "platform/c_numbers.h"
#include "platform/file_writes.h"
#include "platform/unique_fd.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Opens `name` for reading when it is a regular file; a FIFO or a device in
// its place must not block or feed the reader.
UniqueFd OpenRegularForReading(const char* name) {
    UniqueFd fd(open(name, O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    struct stat st {};
    if (fd && (fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode))) {
        fd.reset();
        errno = EINVAL;
    }
    return fd;
}

[[nodiscard]] bool ReadAll(int fd, std::string& bytes) {
    char buf[65536];
    for (;;) {
        const ssize_t n = read(fd, buf, sizeof buf);
        if (n == 0)
            return true;
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        bytes.append(buf, size_t(n));
    }
}

// The whole store, or false when it cannot be opened or read.
[[nodiscard]] bool ReadStore(std::string& bytes) {
    const UniqueFd fd = OpenRegularForReading(kCalibrationStoreName);
    return fd && ReadAll(fd.get(), bytes);
}

// The lines of the store without their line ends (LF or CR LF). A last line
// without a line end is a line too; a lone CR is part of the text.
std::vector<std::string> SplitLines(const std::string& bytes) {
    std::vector<std::string> lines;
    size_t pos = 0;
    while (pos < bytes.size()) {
        size_t end = bytes.find('\n', pos);
        if (end == std::string::npos) {
            lines.emplace_back(bytes, pos);
            break;
        }
        size_t textEnd = end;
        if (textEnd > pos && bytes[textEnd - 1] == '\r')
            --textEnd;
        lines.emplace_back(bytes, pos, textEnd - pos);
        pos = end + 1;
    }
    return lines;
}

// A line belongs to a map only when it starts with the map's path and the
// comma after it; a mere substring match would confuse x.bmp with x.bmp2.
bool BelongsTo(const std::string& line, const std::string& mapPath) {
    return line.size() > mapPath.size() && line.compare(0, mapPath.size(), mapPath) == 0 &&
           line[mapPath.size()] == ',';
}

StoreSaveOutcome Failed(StoreSaveResult result, const std::string& message) {
    return StoreSaveOutcome{result, message};
}

} // namespace

bool ReadStoredCalibration(const std::string& mapPath, CMapCalibration& cal) {
    std::string bytes;
    if (!ReadStore(bytes))
        return false;
    std::vector<std::string> fields;
    for (const std::string& line : SplitLines(bytes)) {
        if (!BelongsTo(line, mapPath))
            continue;
        CGpsReceiver::SplitFields(line, ",", fields);
        if (fields.size() != 9)
            continue;
        // File order per point is x, y, longitude, latitude.
        cal.m_nX1 = ParseCInt(fields[1]);
        cal.m_nY1 = ParseCInt(fields[2]);
        cal.m_nLon1 = ParseCInt(fields[3]);
        cal.m_nLat1 = ParseCInt(fields[4]);
        cal.m_nX2 = ParseCInt(fields[5]);
        cal.m_nY2 = ParseCInt(fields[6]);
        cal.m_nLon2 = ParseCInt(fields[7]);
        cal.m_nLat2 = ParseCInt(fields[8]);
        cal.m_bPoint1Set = true;
        cal.m_bPoint2Set = true;
        return true;
    }
    return false;
}

StoreSaveOutcome WriteStoredCalibration(const std::string& mapPath, const CMapCalibration& cal) {
    // A store that is missing is created empty first; one that exists but
    // cannot be read is never overwritten.
    std::string bytes;
    if (!ReadStore(bytes)) {
        const UniqueFd created(
            open(kCalibrationStoreName, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
        if (!created)
            return Failed(StoreSaveResult::CannotCreateStore,
                          std::string("Can not create calibration file \"") +
                              kCalibrationStoreName + "\"");
        bytes.clear();
    }

    UniqueFd tmp(
        open(kCalibrationTmpName, O_WRONLY | O_CREAT | O_TRUNC | O_NONBLOCK | O_CLOEXEC, 0666));
    struct stat st {};
    if (!tmp || fstat(tmp.get(), &st) != 0 || !S_ISREG(st.st_mode)) {
        return Failed(StoreSaveResult::CannotOpenTmp,
                      std::string("Can not open tmp file \"") + kCalibrationTmpName + "\"");
    }

    std::string out;
    out.reserve(bytes.size() + mapPath.size() + 100);
    for (const std::string& line : SplitLines(bytes)) {
        if (BelongsTo(line, mapPath))
            continue;
        out += line;
        out += "\r\n";
    }
    out += mapPath;
    for (int32_t v : {cal.m_nX1, cal.m_nY1, cal.m_nLon1, cal.m_nLat1, cal.m_nX2, cal.m_nY2,
                      cal.m_nLon2, cal.m_nLat2}) {
        out += ',';
        out += std::to_string(v);
    }
    out += "\r\n";

    // The store is replaced only by a complete, flushed copy, in one rename,
    // so it is never missing or cut short, whatever happens meanwhile.
    bool ok = WriteAll(tmp.get(), out) && fsync(tmp.get()) == 0;
    int error = ok ? 0 : errno;
    // Closed by hand: a failed close can be the first report of a lost write.
    if (close(tmp.release()) != 0 && ok) {
        ok = false;
        error = errno;
    }
    if (!ok) {
        unlink(kCalibrationTmpName);
        return Failed(StoreSaveResult::FinalStepFailed, std::string("Cannot write \"") +
                                                            kCalibrationTmpName +
                                                            "\": " + std::strerror(error));
    }
    if (rename(kCalibrationTmpName, kCalibrationStoreName) != 0) {
        return Failed(StoreSaveResult::FinalStepFailed,
                      std::string("Cannot replace \"") + kCalibrationStoreName + "\" by \"" +
                          kCalibrationTmpName + "\": " + std::strerror(errno));
    }
    return {};
}
