#include "track/gpx_layers.h"

#include <algorithm>

namespace {

// Points per run: small enough to skip most of a long track off the window,
// large enough that the boxes cost little. [points]
constexpr size_t kRunPoints = 64;

void Extend(LayerRun& run, PixelXY p) {
    if (run.points.empty()) {
        run.left = run.right = p.x;
        run.top = run.bottom = p.y;
    }
    run.left = std::min(run.left, p.x);
    run.right = std::max(run.right, p.x);
    run.top = std::min(run.top, p.y);
    run.bottom = std::max(run.bottom, p.y);
    run.points.push_back(p);
}

// Adds `position` to the end of `line`; a position the model cannot place
// breaks the line there.
void AddPoint(LayerLine& line, const CMapModel& model, LonLat position, bool& broken) {
    const std::optional<PixelXY> p = model.PixelAt(position);
    if (!p) {
        broken = true;
        return;
    }
    if (line.runs.empty() || broken || line.runs.back().points.size() >= kRunPoints) {
        LayerRun next;
        // Runs join up unless the line was broken.
        if (!line.runs.empty() && !broken && !line.runs.back().points.empty())
            Extend(next, line.runs.back().points.back());
        line.runs.push_back(std::move(next));
    }
    broken = false;
    Extend(line.runs.back(), *p);
}

template <typename Point>
LayerLine LineOf(GpxLayer::Kind kind, bool route, const std::vector<Point>& points,
                 const CMapModel& model) {
    LayerLine line{kind, route, {}};
    bool broken = true;
    for (const Point& point : points)
        AddPoint(line, model, point.position, broken);
    return line;
}

} // namespace

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
    ++m_version;
}

void CGpxLayers::CloseFiles() {
    std::erase_if(m_layers, [](const GpxLayer& l) { return l.kind == GpxLayer::File; });
    ++m_version;
}

void CGpxLayers::SetRecorded(std::vector<GpxPoint> points) {
    GpxLayer layer{GpxLayer::Recorded, "Recorded track", {}};
    layer.data.tracks.push_back({layer.name, {std::move(points)}});
    Add(std::move(layer));
}

void CGpxLayers::AppendRecorded(const GpxPoint& point) {
    for (GpxLayer& layer : m_layers)
        if (layer.kind == GpxLayer::Recorded)
            layer.data.tracks.front().segments.front().push_back(point);
}

bool CGpxLayers::HasRecorded() const {
    return std::any_of(m_layers.begin(), m_layers.end(),
                       [](const GpxLayer& l) { return l.kind == GpxLayer::Recorded; });
}

void CLayerPixels::Update(const CGpxLayers& layers, const CMapModel& model) {
    const GpxLayer* recorded = nullptr;
    for (const GpxLayer& layer : layers.Layers())
        if (layer.kind == GpxLayer::Recorded)
            recorded = &layer;
    if (m_version == layers.Version()) {
        // Only points recorded since: the recorded line is the last one.
        if (!recorded || m_lines.empty())
            return;
        const std::vector<GpxPoint>& points = recorded->data.tracks.front().segments.front();
        bool broken = false;
        for (; m_nRecorded < points.size(); ++m_nRecorded)
            AddPoint(m_lines.back(), model, points[m_nRecorded].position, broken);
        return;
    }
    m_version = layers.Version();
    m_lines.clear();
    m_marks.clear();
    m_nRecorded = 0;
    for (const GpxLayer& layer : layers.Layers()) {
        if (&layer == recorded)
            continue;
        for (const GpxTrack& track : layer.data.tracks)
            for (const std::vector<GpxPoint>& segment : track.segments)
                m_lines.push_back(LineOf(layer.kind, false, segment, model));
        for (const GpxRoute& route : layer.data.routes) {
            m_lines.push_back(LineOf(layer.kind, true, route.points, model));
            for (const GpxWaypoint& w : route.points)
                if (const std::optional<PixelXY> p = model.PixelAt(w.position))
                    m_marks.push_back({*p, w.name});
        }
        for (const GpxWaypoint& w : layer.data.waypoints)
            if (const std::optional<PixelXY> p = model.PixelAt(w.position))
                m_marks.push_back({*p, w.name});
    }
    // The recorded track last, where it grows.
    if (recorded) {
        const std::vector<GpxPoint>& points = recorded->data.tracks.front().segments.front();
        m_lines.push_back(LineOf(GpxLayer::Recorded, false, points, model));
        m_nRecorded = points.size();
    }
}
