// The benchmarks' map picture: an 8-bit bitmap of w x h with a grey-ramp
// palette and diagonal ramps for pixels, written a row at a time (so that
// pictures of hundreds of megabytes take no such memory) and synced to disk
// before any figure is taken.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

inline void SyncAndClose(std::FILE* f) {
    // On disk before timing starts, so no write-back runs during a figure.
    std::fflush(f);
    fsync(fileno(f));
    std::fclose(f);
}

inline void WriteGreyRampBitmap(const std::string& path, int32_t w, int32_t h) {
    const uint32_t stride = (uint32_t(w) + 3) / 4 * 4;
    const uint32_t offBits = 14 + 40 + 1024;
    std::vector<uint8_t> head(offBits, 0);
    auto put32 = [&](size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i)
            head[at + size_t(i)] = uint8_t(v >> (8 * i));
    };
    head[0] = 'B';
    head[1] = 'M';
    put32(2, offBits + stride * uint32_t(h));
    put32(10, offBits);
    put32(14, 40);
    put32(18, uint32_t(w));
    put32(22, uint32_t(h));
    head[26] = 1;
    head[28] = 8;
    for (uint32_t i = 0; i < 256; ++i)
        put32(54 + 4 * i, i * 0x010101);
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        std::abort();
    std::fwrite(head.data(), 1, head.size(), f);
    std::vector<uint8_t> row(stride);
    for (int32_t y = 0; y < h; ++y) {
        for (uint32_t x = 0; x < stride; ++x)
            row[x] = uint8_t(x + uint32_t(y));
        std::fwrite(row.data(), 1, row.size(), f);
    }
    SyncAndClose(f);
}
