#pragma once

#include <cstdint>
#include <cstring>
#include <vector>

// A 24-bit uncompressed picture built in memory, whose pixel (x, y) (origin
// top-left) has a colour that names its position, so a test can tell which
// picture pixel landed where.
struct TestPicture {
    int32_t width = 0;
    int32_t height = 0;
    std::vector<uint8_t> info; // info header, no colour table
    std::vector<uint8_t> bits;

    static uint32_t Colour(int32_t x, int32_t y) { // 0xFFRRGGBB
        return 0xFF000000u | uint32_t(x & 0xFF) << 16 | uint32_t(y & 0xFF) << 8 |
               uint32_t(((x >> 8) & 0x0F) | ((y >> 8) & 0x0F) << 4);
    }

    TestPicture(int32_t w, int32_t h, bool topDown) : width(w), height(h), info(40, 0) {
        const int32_t biHeight = topDown ? -h : h;
        const uint32_t biSize = 40;
        const uint16_t planes = 1, bitCount = 24;
        std::memcpy(&info[0], &biSize, 4);
        std::memcpy(&info[4], &w, 4);
        std::memcpy(&info[8], &biHeight, 4);
        std::memcpy(&info[12], &planes, 2);
        std::memcpy(&info[14], &bitCount, 2);
        const size_t stride = (size_t(w) * 3 + 3) / 4 * 4;
        bits.assign(stride * size_t(h), 0);
        for (int32_t y = 0; y < h; ++y) {
            uint8_t* row = &bits[stride * size_t(topDown ? y : h - 1 - y)];
            for (int32_t x = 0; x < w; ++x) {
                const uint32_t c = Colour(x, y);
                row[3 * x] = uint8_t(c);
                row[3 * x + 1] = uint8_t(c >> 8);
                row[3 * x + 2] = uint8_t(c >> 16);
            }
        }
    }

    // The whole file: file header, info header, pixels.
    std::vector<uint8_t> File() const {
        std::vector<uint8_t> file(14, 0);
        file[0] = 'B';
        file[1] = 'M';
        const uint32_t offBits = 14 + uint32_t(info.size());
        const uint32_t size = offBits + uint32_t(bits.size());
        std::memcpy(&file[2], &size, 4);
        std::memcpy(&file[10], &offBits, 4);
        file.insert(file.end(), info.begin(), info.end());
        file.insert(file.end(), bits.begin(), bits.end());
        return file;
    }
};
