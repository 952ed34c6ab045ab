#include "picture/tiff_handle.h"

#include "platform/unique_fd.h"

#include <cstdarg>
#include <cstdio>
#include <fcntl.h>

namespace {

int OnError(TIFF*, void* user, const char*, const char* format, va_list args) {
    auto* messages = static_cast<TiffMessages*>(user);
    if (messages->firstError.empty()) {
        char text[256];
        std::vsnprintf(text, sizeof text, format, args);
        messages->firstError = text;
    }
    return 1; // handled: the process-wide handler is not called
}

int OnWarning(TIFF*, void*, const char*, const char*, va_list) {
    return 1;
}

struct OptionsFree {
    void operator()(TIFFOpenOptions* options) const { TIFFOpenOptionsFree(options); }
};

std::unique_ptr<TIFFOpenOptions, OptionsFree> Options(TiffMessages& messages,
                                                      uint64_t maxSingleAlloc) {
    std::unique_ptr<TIFFOpenOptions, OptionsFree> options(TIFFOpenOptionsAlloc());
    if (options) {
        TIFFOpenOptionsSetMaxSingleMemAlloc(options.get(), tmsize_t(maxSingleAlloc));
        TIFFOpenOptionsSetErrorHandlerExtR(options.get(), OnError, &messages);
        TIFFOpenOptionsSetWarningHandlerExtR(options.get(), OnWarning, &messages);
    }
    return options;
}

} // namespace

TiffPtr OpenTiff(const std::string& path, TiffMessages& messages, uint64_t maxSingleAlloc) {
    UniqueFd fd(open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd)
        return {};
    return OpenTiffFd(fd.get(), messages, maxSingleAlloc);
}

TiffPtr OpenTiffFd(int fd, TiffMessages& messages, uint64_t maxSingleAlloc) {
    const auto options = Options(messages, maxSingleAlloc);
    if (!options)
        return {};
    // libtiff closes the descriptor it reads: it gets one of its own.
    UniqueFd own(fcntl(fd, F_DUPFD_CLOEXEC, 0));
    if (!own)
        return {};
    TiffPtr tif(TIFFFdOpenExt(own.get(), "map", "rm", options.get()));
    if (tif)
        (void)own.release();
    return tif;
}
