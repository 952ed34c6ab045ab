#include "platform/file_writes.h"

#include "platform/unique_fd.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace {

// Calls `write(bytes, size, done)` until all `size` bytes are written, going
// on after a signal; a write of nothing is a full disk.
template <class Write> bool WriteLoop(const char* bytes, size_t size, Write write) {
    for (size_t done = 0; done < size;) {
        const ssize_t n = write(bytes + done, size - done, done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (n == 0)
                errno = ENOSPC;
            return false;
        }
        done += size_t(n);
    }
    return true;
}

} // namespace

bool WriteAll(int fd, std::string_view bytes) {
    return WriteLoop(bytes.data(), bytes.size(),
                     [fd](const char* next, size_t n, size_t) { return write(fd, next, n); });
}

bool PwriteAll(int fd, const void* bytes, size_t size, off_t at) {
    return WriteLoop(static_cast<const char*>(bytes), size,
                     [=](const char* next, size_t n, size_t done) {
                         return pwrite(fd, next, n, at + off_t(done));
                     });
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
