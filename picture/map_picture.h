#pragma once

#include "picture/map_cache.h"
#include "picture/picture_kind.h"
#include "render/dib.h"

#include <cstdio>
#include <functional>
#include <string>

struct MapPictureOutcome {
    enum Result { Opened, Refused, Cancelled } result = Refused;
    // For Refused: the whole message, naming the file and what is wrong.
    std::string message;
    PictureKind kind = PictureKind::Unknown;
    // For Opened: the cache entry the picture's reduced copies go beside
    // (for a bitmap, where its entry would be).
    std::string entry;
};

// Called as a scan is decoded into the cache, with the pixels done and the
// pixels of the whole picture; false cancels. Not called for a bitmap, nor
// for a scan that is in the cache already.
using MapDecodeProgress = std::function<bool(uint64_t done, uint64_t total)>;

// Opens the map picture `path`, open as `file`, into `dib`: a bitmap is
// read from the file itself (its pixels mapped), a PNG, JPEG or TIFF scan
// from its decoded copy in `cache`, decoding it first when there is none.
MapPictureOutcome OpenMapPicture(const std::string& path, std::FILE* file, CDib& dib,
                                 const CMapCache& cache, const MapDecodeProgress& progress);

struct PictureSize {
    bool ok = false;
    int32_t width = 0, height = 0; // [pixel]
    std::string message;           // when not ok, as MapPictureOutcome's
};

// The size of the map picture `path`, open as `file`, from its header: no
// scan is decoded for it.
[[nodiscard]] PictureSize ReadPictureSize(const std::string& path, std::FILE* file);

// "\"<name>\" is not a picture Ostrel can show: <problem>."
std::string NotAPictureMessage(const std::string& path, const std::string& problem);
