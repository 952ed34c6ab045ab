#include "map/map_overlay.h"

#include <algorithm>

namespace {

// Points per run: small enough to skip most of a long track off the window,
// large enough that the boxes cost little. [points]
constexpr size_t kRunPoints = 64;

void Extend(OverlayRun& run, PixelXY p) {
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
void AddPoint(OverlayLine& line, const CMapModel& model, LonLat position, bool& broken) {
    const std::optional<PixelXY> p = model.PixelAt(position);
    if (!p) {
        broken = true;
        return;
    }
    if (line.runs.empty() || broken || line.runs.back().points.size() >= kRunPoints) {
        OverlayRun next;
        if (!line.runs.empty() && !broken)
            Extend(next, line.runs.back().points.back());
        line.runs.push_back(std::move(next));
    }
    broken = false;
    Extend(line.runs.back(), *p);
}

} // namespace

void COverlayPixels::Update(const MapOverlay& overlay, const CMapModel& model) {
    const bool grows = !overlay.lines.empty() && overlay.lines.back().kind == MapOverlay::Recorded;
    if (m_version == overlay.version && m_pFrom == &overlay) {
        if (!grows || m_lines.empty())
            return;
        const std::vector<LonLat>& points = overlay.lines.back().points;
        bool broken = false;
        for (; m_nGrown < points.size(); ++m_nGrown)
            AddPoint(m_lines.back(), model, points[m_nGrown], broken);
        return;
    }
    m_version = overlay.version;
    m_pFrom = &overlay;
    m_lines.clear();
    m_marks.clear();
    for (const MapOverlay::Line& line : overlay.lines) {
        OverlayLine placed{line.kind, {}};
        bool broken = true;
        for (const LonLat& p : line.points)
            AddPoint(placed, model, p, broken);
        m_lines.push_back(std::move(placed));
    }
    m_nGrown = grows ? overlay.lines.back().points.size() : 0;
    for (const MapOverlay::Mark& mark : overlay.marks)
        if (const std::optional<PixelXY> p = model.PixelAt(mark.at))
            m_marks.push_back({*p, mark.name});
}
