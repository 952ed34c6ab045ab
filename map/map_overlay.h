#pragma once

#include "map/map_model.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// What every calibrated map shows over its picture besides the designed
// marker, route line and crosses, on WGS 84: GPX layers, the recorded track
// and the way to a navigation target. The application keeps one for all maps.
struct MapOverlay {
    enum Kind { Track, Route, Recorded };
    struct Line {
        Kind kind = Track;
        std::vector<LonLat> points;
    };
    struct Mark {
        LonLat at;
        std::string name; // UTF-8
    };
    // The recorded track, while it is shown, is the last line; it grows.
    std::vector<Line> lines;
    std::vector<Mark> marks;
    std::optional<LonLat> target; // where navigation leads
    // Changes with every change but a point added to the recorded track.
    uint64_t version = 1;
};

// A line of the overlay in picture pixels, cut in runs of a few points with
// their bounding box, so that a repaint draws only the runs it can see.
struct OverlayRun {
    std::vector<PixelXY> points; // [picture pixel]; a run begins at its predecessor's end
    double left = 0, top = 0, right = 0, bottom = 0;
};
struct OverlayLine {
    MapOverlay::Kind kind = MapOverlay::Track;
    std::vector<OverlayRun> runs;
};
struct OverlayMark {
    PixelXY at; // [picture pixel]
    std::string name;
};

// The overlay as one map's model places it: made once per map and per
// change of the overlay or the model; the recorded track grows point by point.
class COverlayPixels {
public:
    // Brings the pixels up to date with `overlay` under `model`: everything
    // again after a change of either, else only points added to the
    // recorded track.
    void Update(const MapOverlay& overlay, const CMapModel& model);
    // True when Update would change nothing.
    bool IsCurrent(const MapOverlay& overlay, const CMapModel& model) const;
    // Forgets everything, for a map given a new georeference (which may
    // lie where an old one did).
    void Reset() { m_version = 0; }

    const std::vector<OverlayLine>& Lines() const { return m_lines; }
    const std::vector<OverlayMark>& Marks() const { return m_marks; }

private:
    // Placed from `overlay` under `model` as they are now, but for points
    // added to the recorded track since.
    bool SameSource(const MapOverlay& overlay, const CMapModel& model) const;
    uint64_t m_version = 0;
    const MapOverlay* m_pFrom = nullptr;      // the overlay the pixels were placed from
    CMapCalibration m_cal;                    // and the model: its calibration
    const CGeoreference* m_pGeoref = nullptr; // or its georeference
    size_t m_nGrown = 0;                      // points of the recorded track placed so far
    std::vector<OverlayLine> m_lines;
    std::vector<OverlayMark> m_marks;
};
