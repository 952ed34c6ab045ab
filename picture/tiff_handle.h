#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <tiffio.h>

struct TiffCloser {
    void operator()(TIFF* tif) const { TIFFClose(tif); }
};
using TiffPtr = std::unique_ptr<TIFF, TiffCloser>;

// What libtiff said about one file: its first error. Warnings are dropped.
struct TiffMessages {
    std::string firstError;
};

// Opens the file `path` for reading with its messages going to `messages`
// (which must outlive the handle) instead of the process-wide handlers, so
// that files read on different threads keep their messages apart. "m": read,
// not mapped, so a file cut short is an error rather than a fault. No single
// allocation of libtiff's passes `maxSingleAlloc` [byte], whatever a hostile
// header asks for. Empty when libtiff cannot read the file.
TiffPtr OpenTiff(const std::string& path, TiffMessages& messages, uint64_t maxSingleAlloc);
// The same for the open file `fd`, which stays the caller's.
TiffPtr OpenTiffFd(int fd, TiffMessages& messages, uint64_t maxSingleAlloc);
