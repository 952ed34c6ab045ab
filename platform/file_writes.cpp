#include "platform/file_writes.h"

#include "platform/unique_fd.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

bool WriteAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (n == 0)
                errno = ENOSPC;
            return false;
        }
        bytes.remove_prefix(size_t(n));
    }
    return true;
}

bool PwriteAll(int fd, const void* bytes, size_t size, off_t at) {
    const auto* next = static_cast<const char*>(bytes);
    while (size > 0) {
        const ssize_t n = pwrite(fd, next, size, at);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (n == 0)
                errno = ENOSPC;
            return false;
        }
        next += n;
        size -= size_t(n);
        at += off_t(n);
    }
    return true;
}

ReplaceResult ReplaceFile(const std::string& path, const std::string& temp,
                          std::string_view bytes) {
    UniqueFd fd(open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0666));
    if (!fd)
        return ReplaceResult::NotWritten;
    // Closed by hand: a failed close can be the first report of a lost write.
    if (!WriteAll(fd.get(), bytes) || fsync(fd.get()) != 0 || close(fd.release()) != 0) {
        const int error = errno;
        unlink(temp.c_str());
        errno = error;
        return ReplaceResult::NotWritten;
    }
    if (std::rename(temp.c_str(), path.c_str()) != 0) {
        const int error = errno;
        unlink(temp.c_str());
        errno = error;
        return ReplaceResult::NotRenamed;
    }
    return ReplaceResult::Replaced;
}
