#include "picture/picture_kind.h"

#include <cstring>

PictureKind DetectPictureKind(const uint8_t* head, size_t size) {
    auto starts = [&](const char* magic, size_t n) {
        return size >= n && std::memcmp(head, magic, n) == 0;
    };
    if (starts("BM", 2))
        return PictureKind::Bmp;
    if (starts("\x89PNG\r\n\x1a\n", 8))
        return PictureKind::Png;
    if (starts("\xFF\xD8\xFF", 3))
        return PictureKind::Jpeg;
    if (starts("II*\0", 4) || starts("MM\0*", 4) || starts("II+\0", 4) || starts("MM\0+", 4))
        return PictureKind::Tiff;
    return PictureKind::Unknown;
}

const char* PictureKindName(PictureKind kind) {
    switch (kind) {
    case PictureKind::Bmp:
        return "BMP";
    case PictureKind::Png:
        return "PNG";
    case PictureKind::Jpeg:
        return "JPEG";
    case PictureKind::Tiff:
        return "TIFF";
    default:
        return "unknown";
    }
}
