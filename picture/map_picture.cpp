#include "picture/map_picture.h"

#include "platform/paths.h"
#include "platform/unique_file.h"

namespace {

bool ReadEntry(const std::string& entry, CDib& dib) {
    const UniqueFile f = OpenFile(entry.c_str(), "rb");
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
