#pragma once

#include "map/map_model.h"
#include "track/gpx_data.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// What is drawn over every calibrated map beside the designed marker and
// route: GPX files opened as layers, the recorded track, the marks.
struct GpxLayer {
    enum Kind { File, Recorded, Marks } kind = File;
    std::string name; // the file's name (UTF-8)
    GpxData data;
};

class CGpxLayers {
public:
    // Adds a layer; one of the same kind and name is replaced.
    void Add(GpxLayer layer);
    // Removes the layers opened from files.
    void CloseFiles();
    // The recorded track, replaced, and grown by one point.
    void SetRecorded(std::vector<GpxPoint> points);
    void AppendRecorded(const GpxPoint& point);
    bool HasRecorded() const;

    const std::vector<GpxLayer>& Layers() const { return m_layers; }
    // Changes whenever the layers change other than by a recorded point.
    uint64_t Version() const { return m_version; }

private:
    GpxLayer* Find(GpxLayer::Kind kind, const std::string& name);
    std::vector<GpxLayer> m_layers;
    uint64_t m_version = 1;
};

// A line of a layer in picture pixels, cut in runs of a few points with
// their bounding box, so that a repaint draws only the runs it can see.
struct LayerRun {
    std::vector<PixelXY> points; // [picture pixel]; a run repeats its predecessor's last point
    double left = 0, top = 0, right = 0, bottom = 0;
};
struct LayerLine {
    GpxLayer::Kind kind = GpxLayer::File;
    bool route = false; // a route: its points are marked
    std::vector<LayerRun> runs;
};
struct LayerMark {
    PixelXY at;       // [picture pixel]
    std::string name; // UTF-8
};

// The layers as one map's model places them, made once per map and per
// change of the layers; the recorded track grows point by point.
class CLayerPixels {
public:
    // Brings the pixels up to date with `layers` under `model`: everything
    // again after a change of the layers, else only new recorded points.
    void Update(const CGpxLayers& layers, const CMapModel& model);
    // Forgets everything, for a map whose model has changed.
    void Reset() { m_version = 0; }

    const std::vector<LayerLine>& Lines() const { return m_lines; }
    const std::vector<LayerMark>& Marks() const { return m_marks; }

private:
    uint64_t m_version = 0;
    size_t m_nRecorded = 0; // recorded points placed so far
    std::vector<LayerLine> m_lines;
    std::vector<LayerMark> m_marks;
};
