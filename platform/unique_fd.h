#pragma once

#include <cerrno>
#include <unistd.h>
#include <utility>

// Owns one file descriptor (-1: none) and closes it when it goes, so that
// no early return has to.
class [[nodiscard]] UniqueFd {
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : m_fd(fd) {}
    ~UniqueFd() { reset(); }
    UniqueFd(UniqueFd&& other) noexcept : m_fd(other.release()) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept {
        reset(other.release());
        return *this;
    }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;

    int get() const { return m_fd; }
    bool valid() const { return m_fd >= 0; }
    explicit operator bool() const { return valid(); }

    // Hands the descriptor to the caller, who closes it from now on.
    [[nodiscard]] int release() { return std::exchange(m_fd, -1); }

    // Closes the descriptor held, if any, and takes `fd`. errno stays as it
    // was: on an error path it tells why, not how the close went.
    void reset(int fd = -1) noexcept {
        const int old = std::exchange(m_fd, fd);
        if (old < 0)
            return;
        const int error = errno;
        close(old);
        errno = error;
    }

private:
    int m_fd = -1;
};
