#include "track/gpx_layers.h"

#include <algorithm>

GpxLayer* CGpxLayers::Find(GpxLayer::Kind kind, const std::string& name) {
    for (GpxLayer& layer : m_layers)
        if (layer.kind == kind && layer.name == name)
            return &layer;
    return nullptr;
}

void CGpxLayers::Add(GpxLayer layer) {
    if (GpxLayer* same = Find(layer.kind, layer.name))
        *same = std::move(layer);
    else
        m_layers.push_back(std::move(layer));
    Rebuild();
}

void CGpxLayers::CloseFiles() {
    std::erase_if(m_layers, [](const GpxLayer& l) { return l.kind == GpxLayer::File; });
    Rebuild();
}

void CGpxLayers::SetRecorded(std::vector<GpxPoint> points) {
    GpxLayer layer{GpxLayer::Recorded, "Recorded track", {}};
    layer.data.tracks.push_back({layer.name, {std::move(points)}});
    Add(std::move(layer));
}

void CGpxLayers::AppendRecorded(const GpxPoint& point) {
    GpxLayer* recorded = Find(GpxLayer::Recorded, "Recorded track");
    if (!recorded)
        return;
    recorded->data.tracks.front().segments.front().push_back(point);
    // The recorded track is the overlay's last line.
    m_overlay.lines.back().points.push_back(point.position);
}

void CGpxLayers::HideRecorded() {
    std::erase_if(m_layers, [](const GpxLayer& l) { return l.kind == GpxLayer::Recorded; });
    Rebuild();
}

bool CGpxLayers::HasRecorded() const {
    return std::any_of(m_layers.begin(), m_layers.end(),
                       [](const GpxLayer& l) { return l.kind == GpxLayer::Recorded; });
}

void CGpxLayers::SetTarget(std::optional<LonLat> target) {
    m_overlay.target = target;
    ++m_overlay.version;
}

void CGpxLayers::Rebuild() {
    const std::optional<LonLat> target = m_overlay.target;
    m_overlay = MapOverlay{{}, {}, target, m_overlay.version + 1};
    const GpxLayer* recorded = nullptr;
    auto line = [this](MapOverlay::Kind kind, const auto& points) {
        MapOverlay::Line out{kind, {}};
        for (const auto& p : points)
            out.points.push_back(p.position);
        m_overlay.lines.push_back(std::move(out));
    };
    for (const GpxLayer& layer : m_layers) {
        if (layer.kind == GpxLayer::Recorded) {
            recorded = &layer;
            continue;
        }
        for (const GpxTrack& track : layer.data.tracks)
            for (const std::vector<GpxPoint>& segment : track.segments)
                line(MapOverlay::Track, segment);
        for (const GpxRoute& route : layer.data.routes) {
            line(MapOverlay::Route, route.points);
            for (const GpxWaypoint& w : route.points)
                m_overlay.marks.push_back({w.position, w.name});
        }
        for (const GpxWaypoint& w : layer.data.waypoints)
            m_overlay.marks.push_back({w.position, w.name});
    }
    if (recorded)
        line(MapOverlay::Recorded, recorded->data.tracks.front().segments.front());
}
