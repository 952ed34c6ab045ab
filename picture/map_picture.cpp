#include "picture/map_picture.h"

#include "platform/paths.h"
#include "platform/unique_file.h"

namespace {

bool ReadEntry(const std::string& entry, CDib& dib) {
    const UniqueFile f = OpenFile(entry.c_str(), "rb");
    return f && dib.Read(f.get()) != 0;
}

// Takes the size the decoder has read from the header and stops it there.
class CSizeSink : public CPictureSink {
public:
    bool Begin(const DecodedLayout& layout, std::string&) override {
        m_layout = layout;
        m_bHeaderRead = true;
        return false;
    }
    bool PutRow(int32_t, const uint8_t*, std::string&) override { return false; }
    bool GetRow(int32_t, uint8_t*, std::string&) override { return false; }
    bool Progress(uint64_t, uint64_t) override { return false; }

    DecodedLayout m_layout;
    bool m_bHeaderRead = false;
};

DecodeOutcome Decode(PictureKind kind, std::FILE* file, CPictureSink& sink) {
    switch (kind) {
    case PictureKind::Png:
        return DecodePng(file, sink);
    case PictureKind::Jpeg:
        return DecodeJpeg(file, sink);
    default:
        return DecodeTiff(file, sink);
    }
}

PictureKind KindOf(std::FILE* file) {
    uint8_t head[16] = {};
    const size_t n = std::fread(head, 1, sizeof head, file);
    std::rewind(file);
    return DetectPictureKind(head, n);
}

constexpr const char* kNoPicture = "it is no BMP, PNG, JPEG or TIFF file";
constexpr const char* kBadBitmap =
    "the bitmap is damaged, cut short or of a kind Ostrel cannot draw";

} // namespace

std::string NotAPictureMessage(const std::string& path, const std::string& problem) {
    return "\"" + BaseName(path) + "\" is not a picture Ostrel can show: " + problem + ".";
}

MapPictureOutcome OpenMapPicture(const std::string& path, std::FILE* file, CDib& dib,
                                 const CMapCache& cache, const MapDecodeProgress& progress) {
    MapPictureOutcome out;
    dib.Free();
    out.kind = KindOf(file);
    auto refuse = [&](const std::string& problem) {
        out.result = MapPictureOutcome::Refused;
        out.message = NotAPictureMessage(path, problem);
        return out;
    };
    switch (out.kind) {
    case PictureKind::Unknown:
        return refuse(kNoPicture);
    case PictureKind::Bmp: {
        if (dib.Read(file) == 0)
            return refuse(kBadBitmap);
        struct stat st {};
        if (fstat(fileno(file), &st) == 0)
            out.entry = cache.EntryPath(path, st);
        out.result = MapPictureOutcome::Opened;
        return out;
    }
    default:
        break;
    }

    struct stat st {};
    std::string problem;
    if (fstat(fileno(file), &st) != 0 || !cache.Prepare(problem))
        return refuse(problem.empty() ? "it cannot be read" : problem);
    const std::string entry = cache.EntryPath(path, st);
    out.entry = entry;
    if (ReadEntry(entry, dib)) {
        cache.Touch(entry);
        out.result = MapPictureOutcome::Opened;
        return out;
    }

    CCacheEntryWriter sink(cache, entry, progress);
    const DecodeOutcome decoded = Decode(out.kind, file, sink);
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

PictureSize ReadPictureSize(const std::string& path, std::FILE* file) {
    PictureSize out;
    const PictureKind kind = KindOf(file);
    if (kind == PictureKind::Unknown) {
        out.message = NotAPictureMessage(path, kNoPicture);
        return out;
    }
    if (kind == PictureKind::Bmp) {
        // A bitmap is mapped, not read: its size costs no more than its header.
        CDib dib;
        if (dib.Read(file) == 0) {
            out.message = NotAPictureMessage(path, kBadBitmap);
            return out;
        }
        return {true, dib.GetWidth(), dib.GetHeight(), {}};
    }
    CSizeSink sink;
    const DecodeOutcome decoded = Decode(kind, file, sink);
    if (!sink.m_bHeaderRead) {
        out.message = NotAPictureMessage(path, decoded.problem);
        return out;
    }
    return {true, sink.m_layout.width, sink.m_layout.height, {}};
}
