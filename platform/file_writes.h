#pragma once

#include <string>
#include <string_view>
#include <sys/types.h>

// Writes all of `bytes` to `fd`, going on where a signal cut a write short.
// False, with errno set, when it could not (ENOSPC where the system wrote
// nothing and gave no reason).
[[nodiscard]] bool WriteAll(int fd, std::string_view bytes);

// Writes `size` bytes at the file offset `at` of `fd` (the file position
// stays where it was), going on where a signal or the system cut the write
// short. False, with errno set, as WriteAll.
[[nodiscard]] bool PwriteAll(int fd, const void* bytes, size_t size, off_t at);

enum class ReplaceResult { Replaced, NotWritten, NotRenamed };

// Replaces `path` by a file of `bytes`, so that it is never missing or cut
// short: they are written to the new file `temp` (mode 0666 less the umask),
// flushed to the disk and renamed over `path`. Where that fails, errno tells
// why and a `temp` made here is removed.
[[nodiscard]] ReplaceResult ReplaceFile(const std::string& path, const std::string& temp,
                                        std::string_view bytes);
