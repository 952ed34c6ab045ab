#include "map/map_picture.h"
#include "map/sidecar_calibration.h"

#include <cstring>
#include <memory>

namespace {

using FilePtr = std::unique_ptr<std::FILE, int (*)(std::FILE*)>;

bool ReadEntry(const std::string& entry, CDib& dib) {
    FilePtr f(std::fopen(entry.c_str(), "rb"), &std::fclose);
    return f && dib.Read(f.get()) != 0;
}

} // namespace

std::string NotAPictureMessage(const std::string& path, const std::string& problem) {
    return "\"" + BaseName(path) + "\" is not a picture Ostrel can show: " + problem + ".";
}

MapPictureOutcome OpenMapPicture(const std::string& path, std::FILE* file, CDib& dib,
                                 const CMapCache& cache, const MapDecodeProgress& progress) {
    MapPictureOutcome out;
    dib.Free();
    uint8_t head[16] = {};
    const size_t n = std::fread(head, 1, sizeof head, file);
    std::rewind(file);
    out.kind = DetectPictureKind(head, n);
    auto refuse = [&](const std::string& problem) {
        out.result = MapPictureOutcome::Refused;
        out.message = NotAPictureMessage(path, problem);
        return out;
    };
    switch (out.kind) {
    case PictureKind::Unknown:
        return refuse("it is no BMP, PNG, JPEG or TIFF file");
    case PictureKind::Bmp:
        if (dib.Read(file) == 0)
            return refuse("the bitmap is damaged, cut short or of a kind Ostrel cannot draw");
        out.result = MapPictureOutcome::Opened;
        return out;
    default:
        break;
    }

    struct stat st {};
    std::string problem;
    if (fstat(fileno(file), &st) != 0 || !cache.Prepare(problem))
        return refuse(problem.empty() ? "it cannot be read" : problem);
    const std::string entry = cache.EntryPath(path, st);
    if (ReadEntry(entry, dib)) {
        cache.Touch(entry);
        out.result = MapPictureOutcome::Opened;
        return out;
    }

    CCacheEntryWriter sink(cache, entry, progress);
    DecodeOutcome decoded;
    if (out.kind == PictureKind::Png)
        decoded = DecodePng(file, sink);
    else if (out.kind == PictureKind::Jpeg)
        decoded = DecodeJpeg(file, sink);
    else
        decoded = DecodeTiff(file, sink);
    if (decoded.result == DecodeOutcome::Cancelled) {
        out.result = MapPictureOutcome::Cancelled;
        return out;
    }
    if (decoded.result != DecodeOutcome::Done)
        return refuse(decoded.problem);
    if (!sink.Commit(problem))
        return refuse(problem);
    if (!ReadEntry(entry, dib)) {
        std::remove(entry.c_str());
        return refuse("its decoded copy in the map cache cannot be read");
    }
    out.result = MapPictureOutcome::Opened;
    return out;
}

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
