#include "gps/nmea_recording.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

std::string CNmeaRecording::Open(const std::string& path) {
    m_fd.reset(open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_APPEND | O_CLOEXEC, 0644));
    m_strPath = path;
    if (!m_fd)
        return "Can not record to \"" + path + "\": " + std::strerror(errno);
    return {};
}

std::string CNmeaRecording::Write(const std::string& bytes) {
    size_t done = 0;
    while (m_fd && done < bytes.size()) {
        const ssize_t n = write(m_fd.get(), bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            const int error = n < 0 ? errno : ENOSPC;
            m_fd.reset();
            return "Recording to \"" + m_strPath + "\" stopped: " + std::strerror(error);
        }
        done += size_t(n);
    }
    return {};
}
