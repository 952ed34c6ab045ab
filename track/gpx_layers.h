#pragma once

#include "map/map_overlay.h"
#include "track/gpx_data.h"

#include <string>
#include <vector>

// The GPX shown on every calibrated map: layers opened from files, the
// recorded track and the marks, and what the maps draw of them.
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
    void HideRecorded();
    // Where navigation leads, drawn on every map; nothing ends it.
    void SetTarget(std::optional<LonLat> target);

    const std::vector<GpxLayer>& Layers() const { return m_layers; }
    // What the maps draw: tracks, routes (with their points marked) and
    // waypoints of every layer, the recorded track last.
    const MapOverlay& Overlay() const { return m_overlay; }

private:
    GpxLayer* Find(GpxLayer::Kind kind, const std::string& name);
    void Rebuild();
    std::vector<GpxLayer> m_layers;
    MapOverlay m_overlay;
};
