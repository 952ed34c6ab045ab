#pragma once

#include "platform/dib_decoder.h"
#include "render/dib.h"

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

// Small bitmap files made in the tests, and whole-picture decoding.

// Pixels a decode leaves alone keep this value.
constexpr uint32_t kUnset = 0x12345678;

inline void Put16(std::string& s, size_t at, uint32_t v) {
    s[at] = char(v & 0xFF);
    s[at + 1] = char((v >> 8) & 0xFF);
}
inline void Put32(std::string& s, size_t at, uint32_t v) {
    Put16(s, at, v & 0xFFFF);
    Put16(s, at + 2, v >> 16);
}

struct BmpLayout {
    uint32_t headerSize = 40; // 12 writes the OS/2 core header and 3-byte colours
    int32_t width = 1;
    int32_t height = 1;
    uint16_t bitCount = 24;
    uint32_t compression = 0;
    uint32_t clrUsed = 0;
    std::vector<uint32_t> masks;  // inside headers of 52 bytes and more, else after the header
    std::vector<uint32_t> colors; // 0xRRGGBB
    std::string bits;             // the pixel data as stored
};

inline std::string MakeBmp(const BmpLayout& b) {
    std::string info(b.headerSize, '\0');
    Put32(info, 0, b.headerSize);
    if (b.headerSize == 12) {
        Put16(info, 4, uint32_t(b.width));
        Put16(info, 6, uint32_t(b.height));
        Put16(info, 8, 1);
        Put16(info, 10, b.bitCount);
    } else {
        Put32(info, 4, uint32_t(b.width));
        Put32(info, 8, uint32_t(b.height));
        Put16(info, 12, 1);
        Put16(info, 14, b.bitCount);
        Put32(info, 16, b.compression);
        Put32(info, 20, uint32_t(b.bits.size()));
        Put32(info, 32, b.clrUsed);
    }
    for (size_t i = 0; i < b.masks.size(); ++i) {
        if (b.headerSize < 52)
            info.append(4, '\0');
        Put32(info, 40 + 4 * i, b.masks[i]);
    }
    for (uint32_t c : b.colors) {
        info += {char(c & 0xFF), char((c >> 8) & 0xFF), char((c >> 16) & 0xFF)};
        if (b.headerSize != 12)
            info += '\0';
    }
    std::string file(14, '\0');
    file[0] = 'B';
    file[1] = 'M';
    Put32(file, 2, uint32_t(14 + info.size() + b.bits.size()));
    Put32(file, 10, uint32_t(14 + info.size()));
    return file + info + b.bits;
}

// An 8-bit picture of w x h pixels, all of colour `rgb` (0xRRGGBB).
inline std::string PlainBmp(int32_t w, int32_t h, uint32_t rgb) {
    BmpLayout layout;
    layout.width = w;
    layout.height = h;
    layout.bitCount = 8;
    layout.colors = {0xFFFFFF, rgb};
    layout.bits.assign(size_t((w + 3) / 4 * 4) * size_t(h), char(1));
    return MakeBmp(layout);
}

// CDib::Read of `bytes` through a real file.
inline uint32_t ReadDib(CDib& dib, const std::string& bytes) {
    std::FILE* f = std::tmpfile();
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::rewind(f);
    const uint32_t n = dib.Read(f);
    std::fclose(f);
    return n;
}

inline uint32_t ReadDib(CDib& dib, const std::filesystem::path& path) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f)
        return 0;
    const uint32_t n = dib.Read(f);
    std::fclose(f);
    return n;
}

// A whole picture read as CDib reads it, decoded from the blocks CDib holds
// (the header block is bfOffBits + 1010 bytes, the pixel block the rest of
// the file); pixels 0xFFRRGGBB row by row from the top.
struct Picture {
    bool loaded = false;
    int32_t width = 0;
    int32_t height = 0;
    std::vector<uint32_t> pixels;
    std::unique_ptr<CDib> dib = std::make_unique<CDib>();
    CDibDecoder decoder;
    uint32_t At(int32_t x, int32_t y) const {
        return pixels[size_t(y) * size_t(width) + size_t(x)];
    }
};

inline Picture DecodeFile(const std::string& bytes) {
    Picture p;
    if (ReadDib(*p.dib, bytes) != bytes.size())
        return p;
    const uint32_t offBits = uint8_t(bytes[10]) | uint8_t(bytes[11]) << 8 |
                             uint8_t(bytes[12]) << 16 | uint32_t(uint8_t(bytes[13])) << 24;
    if (!p.decoder.Open(p.dib->m_pInfo.get(), offBits + 1010, p.dib->m_pBits.get(),
                        bytes.size() - offBits))
        return p;
    p.loaded = true;
    p.width = p.decoder.Width();
    p.height = p.decoder.Height();
    p.pixels.assign(size_t(p.width) * size_t(p.height), kUnset);
    p.decoder.DecodeRect({0, 0, p.width, p.height}, p.pixels.data(), size_t(p.width));
    return p;
}
