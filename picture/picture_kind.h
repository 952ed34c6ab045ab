#pragma once

#include <cstddef>
#include <cstdint>

// The picture formats a map may come in, told by their first bytes.
enum class PictureKind { Unknown, Bmp, Png, Jpeg, Tiff };
PictureKind DetectPictureKind(const uint8_t* head, size_t size);
// "PNG", "JPEG", ... for messages.
const char* PictureKindName(PictureKind kind);
