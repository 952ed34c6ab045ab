#include "gps/nmea_recording.h"

#include "platform/file_writes.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

std::string CNmeaRecording::Open(const std::string& path) {
    m_fd.reset(open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_APPEND | O_CLOEXEC, 0644));
    m_strPath = path;
    if (!m_fd)
        return "Cannot record to \"" + path + "\": " + std::strerror(errno);
    return {};
}

std::string CNmeaRecording::Write(const std::string& bytes) {
    if (!m_fd || WriteAll(m_fd.get(), bytes))
        return {};
    const int error = errno;
    m_fd.reset();
    return "Recording to \"" + m_strPath + "\" stopped: " + std::strerror(error);
}
