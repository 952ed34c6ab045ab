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

// The recorded track, the line that grows, or null.
const MapOverlay::Line* GrowingLine(const MapOverlay& overlay) {
    const bool grows = !overlay.lines.empty() && overlay.lines.back().kind == MapOverlay::Recorded;
    return grows ? &overlay.lines.back() : nullptr;
}

} // namespace

bool COverlayPixels::SameSource(const MapOverlay& overlay, const CMapModel& model) const {
    return m_version == overlay.version && m_pFrom == &overlay && m_pGeoref == model.georef &&
           m_cal == model.cal;
}

bool COverlayPixels::IsCurrent(const MapOverlay& overlay, const CMapModel& model) const {
    const MapOverlay::Line* growing = GrowingLine(overlay);
    return SameSource(overlay, model) && (growing ? growing->points.size() : 0) == m_nGrown;
}

void COverlayPixels::Update(const MapOverlay& overlay, const CMapModel& model) {
    const MapOverlay::Line* growing = GrowingLine(overlay);
    if (SameSource(overlay, model)) {
        if (!growing || m_lines.empty())
            return;
        bool broken = false;
        for (; m_nGrown < growing->points.size(); ++m_nGrown)
            AddPoint(m_lines.back(), model, growing->points[m_nGrown], broken);
        return;
    }
    m_version = overlay.version;
    m_pFrom = &overlay;
    m_cal = model.cal;
    m_pGeoref = model.georef;
    m_lines.clear();
    m_marks.clear();
    for (const MapOverlay::Line& line : overlay.lines) {
        OverlayLine placed{line.kind, {}};
        bool broken = true;
        for (const LonLat& p : line.points)
            AddPoint(placed, model, p, broken);
        m_lines.push_back(std::move(placed));
    }
    m_nGrown = growing ? growing->points.size() : 0;
    for (const MapOverlay::Mark& mark : overlay.marks)
        if (const std::optional<PixelXY> p = model.PixelAt(mark.at))
            m_marks.push_back({*p, mark.name});
}
