#pragma once

#include "platform/unique_fd.h"

#include <string>

// Every byte the receiver sends, appended to a file as it comes, for
// replaying later with nmea-replay.
class CNmeaRecording {
public:
    // Starts recording into `path`, created or emptied. Empty when it is
    // open; otherwise the message.
    [[nodiscard]] std::string Open(const std::string& path);
    // Appends `bytes`. Empty when written; otherwise the message, and the
    // recording has stopped.
    [[nodiscard]] std::string Write(const std::string& bytes);
    void Close() { m_fd.reset(); }
    bool IsOpen() const { return m_fd.valid(); }
    const std::string& Path() const { return m_strPath; }

private:
    UniqueFd m_fd;
    std::string m_strPath;
};
