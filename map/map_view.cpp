#include "map/map_view.h"

#include "gps/settings.h"
#include "map/calibration_export.h"
#include "map/calibration_input.h"
#include "map/calibration_store.h"
#include "map/command_ids.h"
#include "map/dia_calibration.h"
#include "picture/map_cache.h"
#include "platform/dialog_ids.h"
#include "platform/document.h"
#include "platform/mdi_child_wnd.h"
#include "platform/mdi_frame.h"
#include "platform/message_box.h"
#include "render/dib_draw.h"
#include "render/markers.h"
#include "render/scaled_draw.h"

#include <QCoreApplication>
#include <QMdiSubWindow>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>
#include <QWheelEvent>
#include <QtGlobal>
#include <algorithm>
#include <cmath>
#include <cstdlib>

// The resources live in a static library; they must be pulled in by name.
static void InitResources() {
    static const bool done = [] {
        Q_INIT_RESOURCE(ostrel);
        return true;
    }();
    (void)done;
}

namespace {
constexpr uintptr_t kUpdateTimer = 2; // the main frame's poll timer is 1
// The map counts as at rest this long after it last scrolled or zoomed [ms].
constexpr int kRestMs = 150;
// Reference points closer than this on either axis give no usable scale [pixel].
constexpr int64_t kMinPointDistance = 100;
} // namespace

const CommandEntry<COstrelView> COstrelView::kCommands[] = {
    {ID_SHOW_CALIB_POINTS, &COstrelView::OnShowCalibrationPoints,
     &COstrelView::OnUpdateShowCalibrationPoints},
    {ID_CLEAR_CALIB_POINTS, &COstrelView::OnClearCalibrationPoints},
    {ID_SHOW_ROUTE_LINE, &COstrelView::OnShowRouteLine, &COstrelView::OnUpdateShowRouteLine},
    {ID_CLEAR_ROUTE_LINE, &COstrelView::OnClearRouteLine},
    {ID_SHOW_PROPERTIES, &COstrelView::OnShowProperties},
    {ID_FOLLOW_POSITION, &COstrelView::OnFollowPosition, &COstrelView::OnUpdateFollowPosition},
    {ID_EXPORT_CALIBRATION, &COstrelView::OnExportCalibration,
     &COstrelView::OnUpdateExportCalibration},
    {ID_ZOOM_IN, &COstrelView::OnZoomIn, &COstrelView::OnUpdateZoom},
    {ID_ZOOM_OUT, &COstrelView::OnZoomOut, &COstrelView::OnUpdateZoom},
    {ID_ZOOM_ACTUAL_SIZE, &COstrelView::OnZoomActualSize, &COstrelView::OnUpdateZoom},
    {ID_ZOOM_FIT, &COstrelView::OnZoomFit, &COstrelView::OnUpdateZoom},
};

COstrelView::COstrelView(CMDIFrameWnd* mainFrame, CGpsReceiver* gps,
                         PropertiesDialogRunner showProperties)
    : m_nUpdatePeriod(g_nUpdateMs), m_pGps(gps), m_pMainFrame(mainFrame),
      m_pfnShowProperties(showProperties) {
    // Once the map rests, a zoomed-out picture is drawn again smoothed.
    m_restTimer.setSingleShot(true);
    m_restTimer.setInterval(kRestMs);
    connect(&m_restTimer, &QTimer::timeout, this, [this] {
        m_bMoving = false;
        if (m_nMode == DOCMODE_MAP && ClientZoom() < 1.0)
            RedrawWindow();
    });
    // A step of the reduced copies whenever nothing else waits.
    m_levelSteps.setInterval(0);
    connect(&m_levelSteps, &QTimer::timeout, this, &COstrelView::MakeLevelsStep);
    // A scroll by hand (bars, wheel, keys) takes over from Follow Position.
    for (QScrollBar* bar : {horizontalScrollBar(), verticalScrollBar()})
        connect(bar, &QAbstractSlider::actionTriggered, this,
                [this] { m_bFollowPosition = false; });
}

COstrelView::~COstrelView() {
    if (m_pMainFrame)
        m_pMainFrame->SetMessageText(std::string());
}

void COstrelView::MoveParentFrame(int width, int height) {
    if (auto* frame = qobject_cast<QMdiSubWindow*>(parentWidget()))
        frame->setGeometry(0, 0, width, height);
}

void COstrelView::OnInitialUpdate() {
    CScrollView::OnInitialUpdate();
    SetScrollSizes(CSize{0, 0});
    m_nMode = g_nDocMode;
    switch (m_nMode) {
    case DOCMODE_WORLDMAP:
        MoveParentFrame(555, 380);
        m_cal = WorldMapCalibration();
        m_cal.m_bPoint1Set = true;
        m_cal.m_bPoint2Set = true;
        m_bCalibrated = true;
        m_bShowCalPoints = false;
        InitResources();
        m_bmpWorld.LoadBitmap(QStringLiteral(":/world_map.bmp"));
        break;
    case DOCMODE_MAP:
        m_bShowCalPoints = true;
        m_bShowRoute = false;
        m_pRouteX = std::make_unique<int32_t[]>(MAX_ROUTE_POINTS);
        m_pRouteY = std::make_unique<int32_t[]>(MAX_ROUTE_POINTS);
        m_nRoutePoints = 0;
        break;
    case DOCMODE_GPSDATA:
        MoveParentFrame(600, 460);
        break;
    default:
        break;
    }
    SetTimer(kUpdateTimer, uint32_t(g_nUpdateMs));
    // The document names its windows anew (a second window, a saved path);
    // the zoom stays in the caption.
    if (QMdiSubWindow* frame = GetParentFrame(this))
        connect(frame, &QWidget::windowTitleChanged, this, [this](const QString& title) {
            if (!m_strZoomSuffix.isEmpty() && !title.endsWith(m_strZoomSuffix))
                ShowZoomInTitle();
        });
}

void COstrelView::OnSize(uint32_t nType, int32_t cx, int32_t cy) {
    CScrollView::OnSize(nType, cx, cy);
    m_fontSmall.emplace(cy / 12);
    m_fontLarge.emplace(cy / 4);
}

void COstrelView::OnDraw(CDC* pDC) {
    if (!m_pDocument)
        return;
    switch (m_nMode) {
    case DOCMODE_WORLDMAP:
        DrawWorldMap(pDC);
        DrawOverlay();
        if (m_bShowCalPoints)
            DrawCalibrationPoints();
        break;
    case DOCMODE_MAP:
        DrawScannedMap();
        DrawOverlay();
        if (m_bShowCalPoints)
            DrawCalibrationPoints();
        if (m_bShowRoute) {
            CClientDC dc(this);
            DrawRoute(&dc, false);
        }
        break;
    case DOCMODE_GPSDATA:
        if (m_pGps)
            m_pGps->DrawDataPanel(this, m_fontSmall ? &*m_fontSmall : nullptr,
                                  m_fontLarge ? &*m_fontLarge : nullptr);
        break;
    default:
        break;
    }
}

void COstrelView::OnTimer(uintptr_t id) {
    if (id != kUpdateTimer || m_bBusy || !m_pGps)
        return;
    m_bBusy = true;
    switch (m_nMode) {
    case DOCMODE_WORLDMAP:
        RefreshOverlay();
        m_pGps->DrawPosition(this, Model(), 0);
        break;
    case DOCMODE_MAP:
        if (m_bCalibrated) {
            RefreshOverlay();
            const CPoint p = m_pGps->DrawPosition(this, Model(), kRingRadius);
            if (p != CPoint{-1, -1}) {
                if (const std::optional<CPoint> pixel = FixPicturePixel(m_pGps->m_fix, Model()))
                    AddRoutePoint(*pixel);
                if (m_bFollowPosition && FollowMarker(p))
                    m_pGps->DrawPosition(this, Model(), kRingRadius);
            }
        }
        break;
    case DOCMODE_GPSDATA:
        m_pGps->DrawDataPanel(this, m_fontSmall ? &*m_fontSmall : nullptr,
                              m_fontLarge ? &*m_fontLarge : nullptr);
        break;
    default:
        break;
    }
    m_bBusy = false;
}

void COstrelView::AddRoutePoint(CPoint picture) {
    if (!m_pRouteX || m_nRoutePoints >= MAX_ROUTE_POINTS)
        return;
    const int32_t x = picture.x;
    const int32_t y = picture.y;
    // A receiver standing still would fill the route with one point.
    const int last = m_nRoutePoints - 1;
    if (last >= 0 && m_pRouteX[size_t(last)] == x && m_pRouteY[size_t(last)] == y)
        return;
    m_pRouteX[size_t(m_nRoutePoints)] = int32_t(x);
    m_pRouteY[size_t(m_nRoutePoints)] = int32_t(y);
    ++m_nRoutePoints;
    if (m_bShowRoute && m_nRoutePoints >= 2) {
        CClientDC dc(this);
        DrawRoute(&dc, true);
    }
}

void COstrelView::DrawCalibrationPoints() {
    if (m_pGeoref) {
        CClientDC dc(this);
        for (const PixelXY& p : m_pGeoref->PointPixels())
            if (std::fabs(p.x) < 1e9 && std::fabs(p.y) < 1e9)
                DrawCalibrationMark(dc, PictureToClient({std::round(p.x), std::round(p.y)}));
        return;
    }
    if (!m_cal.m_bPoint1Set && !m_cal.m_bPoint2Set)
        return;
    CClientDC dc(this);
    if (m_cal.m_bPoint1Set)
        DrawCalibrationMark(dc, PictureToClient({double(m_cal.m_nX1), double(m_cal.m_nY1)}));
    if (m_cal.m_bPoint2Set)
        DrawCalibrationMark(dc, PictureToClient({double(m_cal.m_nX2), double(m_cal.m_nY2)}));
}

void COstrelView::DrawRoute(CDC* pDC, bool newestOnly) {
    if (!pDC || m_nRoutePoints < 2)
        return;
    const int32_t* x = m_pRouteX.get();
    const int32_t* y = m_pRouteY.get();
    for (int i = newestOnly ? m_nRoutePoints - 1 : 1; i < m_nRoutePoints; ++i) {
        const CPoint a = PictureToClient({double(x[i]), double(y[i])});
        const CPoint b = PictureToClient({double(x[i - 1]), double(y[i - 1])});
        const CPen previous = pDC->SelectPen(m_penBlack);
        pDC->MoveTo(a.x, a.y);
        pDC->LineTo(b.x, b.y);
        pDC->SelectPen(m_penWhite);
        pDC->MoveTo(a.x + 1, a.y + 1);
        pDC->LineTo(b.x + 1, b.y + 1);
        pDC->SelectPen(previous);
    }
}

bool COstrelView::OnCmdMsg(int id, CCmdUI* ui) {
    return DispatchCommand<COstrelView>(*this, kCommands, id, ui);
}

void COstrelView::OnShowCalibrationPoints() {
    m_bShowCalPoints = !m_bShowCalPoints;
    RedrawWindow();
}

void COstrelView::OnUpdateShowCalibrationPoints(CCmdUI* ui) {
    ui->SetCheck(m_bShowCalPoints);
}

void COstrelView::OnClearCalibrationPoints() {
    m_cal.m_bPoint1Set = false;
    m_cal.m_bPoint2Set = false;
    m_pGeoref.reset();
    m_overlayPixels.Reset();
    m_bCalibrated = false;
    RedrawWindow();
}

void COstrelView::OnShowRouteLine() {
    m_bShowRoute = !m_bShowRoute;
    RedrawWindow();
}

void COstrelView::OnUpdateShowRouteLine(CCmdUI* ui) {
    ui->SetCheck(m_bShowRoute);
}

// The old line stays on the screen until the next repaint.
void COstrelView::OnClearRouteLine() {
    m_nRoutePoints = 0;
}

void COstrelView::OnFollowPosition() {
    m_bFollowPosition = !m_bFollowPosition;
}

void COstrelView::OnUpdateFollowPosition(CCmdUI* ui) {
    ui->Enable(m_nMode == DOCMODE_MAP);
    ui->SetCheck(m_bFollowPosition);
}

void COstrelView::OnExportCalibration() {
    const std::string path = m_pDocument ? m_pDocument->GetPathName() : std::string();
    ExportOutcome outcome = ExportCalibration(path, false);
    if (!outcome.refused.empty()) {
        if (!AskYesNo(this,
                      PathText{"\"" + outcome.refused + "\" exists. Do you want to replace it?"}))
            return;
        outcome = ExportCalibration(path, true);
    }
    // A command's result stays until the user has seen it, not until the
    // next sentence overwrites the status line.
    ShowMessageBox(this,
                   PathText{outcome.ok ? outcome.message + "."
                                       : "Cannot export the calibration: " + outcome.message});
}

void COstrelView::OnUpdateExportCalibration(CCmdUI* ui) {
    ui->Enable(m_nMode == DOCMODE_MAP && m_bCalibrated && m_pDocument &&
               !m_pDocument->GetPathName().empty());
}

bool COstrelView::FollowMarker(CPoint p) {
    const CPoint s = GetScrollPosition();
    const CSize total = GetTotalSize();
    const int64_t mapX = int64_t(p.x) + s.x;
    const int64_t mapY = int64_t(p.y) + s.y;
    if (mapX < 0 || mapY < 0 || mapX >= total.cx || mapY >= total.cy)
        return false;
    const CRect client = GetClientRect();
    const int w = client.Width();
    const int h = client.Height();
    if (p.x >= w / 8 && p.x < w - w / 8 && p.y >= h / 8 && p.y < h - h / 8)
        return false;
    const CPoint before = s;
    ScrollToPosition(CPoint{int32_t(mapX - w / 2), int32_t(mapY - h / 2)});
    return GetScrollPosition() != before;
}

void COstrelView::OnShowProperties() {
    if (!m_pfnShowProperties || m_pfnShowProperties(m_nUpdatePeriod) != IDOK)
        return;
    KillTimer(kUpdateTimer);
    SetTimer(kUpdateTimer, uint32_t(g_nUpdateMs));
    m_nUpdatePeriod = g_nUpdateMs;
    if (m_pMainFrame)
        m_pMainFrame->SetMessageText(std::string());
}

void COstrelView::OnRButtonDown(CPoint point) {
    if (m_bCalibrated || !m_bMapLoaded)
        return;
    // The map pixel the user clicked on.
    const CPoint p = ClientToPicture(point);
    CDia_Calibration dialog;
    if (dialog.DoModal() == IDCANCEL)
        return;

    if (!m_cal.m_bPoint1Set) {
        m_cal.m_nLon1 = g_nCalibLonSec;
        m_cal.m_nLat1 = g_nCalibLatSec;
        m_cal.m_nX1 = p.x;
        m_cal.m_nY1 = p.y;
        m_cal.m_bPoint1Set = true;
    } else if (!m_cal.m_bPoint2Set) {
        m_cal.m_nLon2 = g_nCalibLonSec;
        m_cal.m_nLat2 = g_nCalibLatSec;
        m_cal.m_nX2 = p.x;
        m_cal.m_nY2 = p.y;
        if (std::abs(int64_t(m_cal.m_nX2) - m_cal.m_nX1) < kMinPointDistance ||
            std::abs(int64_t(m_cal.m_nY2) - m_cal.m_nY1) < kMinPointDistance) {
            ShowMessageBox(this, "Calibrate points are too close, please select another point!");
            return;
        }
        m_cal.m_bPoint2Set = true;
    }
    // With both points set from before, an earlier save did not complete:
    // the points stay as they are and the save is repeated.

    if (m_cal.m_bPoint1Set && m_cal.m_bPoint2Set && SaveCalibration())
        m_bCalibrated = true;
    DrawCalibrationPoints();
}

void COstrelView::OnMouseMove(CPoint point) {
    if (m_nMode == DOCMODE_WORLDMAP || !m_bCalibrated)
        return;
    const std::optional<CGeoPoint> g = Model().AtClient(ClientToPicture(point), CPoint{0, 0});
    if (!g)
        return;
    if (auto* frame = qobject_cast<CMDIChildWnd*>(parentWidget()))
        frame->SetMessageText(FormatReadout(*g));
}

void COstrelView::LoadCalibration(const std::string& path) {
    // A calibration the map carries beside it is in force until the user
    // enters one; it is not stored.
    LoadedModel loaded = LoadMapModel(path, m_dib.GetWidth(), m_dib.GetHeight());
    if (loaded.refused)
        ShowMessageBox(this, PathText{loaded.message});
    if (loaded.source == CalibrationSource::None)
        return;
    m_cal = loaded.cal;
    m_pGeoref = std::move(loaded.georef);
    m_overlayPixels.Reset();
    if (!loaded.message.empty() && m_pMainFrame)
        m_pMainFrame->SetMessageText(PathText{loaded.message});
    m_bCalibrated = true;
    RedrawWindow();
}

bool COstrelView::SaveCalibration() {
    const std::string key = m_pDocument ? m_pDocument->GetPathName() : std::string();
    const StoreSaveOutcome outcome = WriteStoredCalibration(key, m_cal);
    if (!outcome.message.empty())
        ShowMessageBox(this, outcome.message);
    return outcome.result != StoreSaveResult::FinalStepFailed;
}

void COstrelView::DrawScannedMap() {
    CClientDC dc(this);
    DrawPicture(dc, ClientZoom(), GetScrollPosition());
    SetScrollSizes(ZoomedSize());
    const double ratio = devicePixelRatioF();
    if (ratio != 1.0)
        DrawDevicePicture(dc, ratio);
}

void COstrelView::DrawPicture(CDC& dc, double zoom, CPoint s) {
    const int32_t w = m_dib.GetWidth();
    const int32_t h = m_dib.GetHeight();
    const CSize zoomed{int32_t(std::lround(w * zoom)), int32_t(std::lround(h * zoom))};
    if (zoom == 1.0)
        m_dib.Draw(&dc, CRect{0, 0, w, h}, CRect{s.x, s.y, s.x + w, s.y + h});
    else if (zoom < 1.0)
        DrawZoomedOut(dc, zoom, s);
    else
        m_dib.Draw(&dc, CRect{-s.x, -s.y, zoomed.cx - s.x, zoomed.cy - s.y}, CRect{0, 0, w, h});
}

void COstrelView::DrawDevicePicture(const CDC& client, double ratio) {
    const QSize size(int(std::ceil(viewport()->width() * ratio)),
                     int(std::ceil(viewport()->height() * ratio)));
    if (m_devicePicture.size() != size || m_mapOnly.size() != Surface().size()) {
        m_devicePicture = QImage(size, QImage::Format_RGB32);
        m_devicePicture.fill(Qt::white);
        m_mapOnly = QImage(Surface().size(), QImage::Format_RGB32);
        m_mapOnly.fill(Qt::white);
    }
    const CRect clip = client.GetClipBox();
    const CRect device{
        int32_t(std::floor(clip.left * ratio)), int32_t(std::floor(clip.top * ratio)),
        int32_t(std::ceil(clip.right * ratio)), int32_t(std::ceil(clip.bottom * ratio))};
    CDC dc(&m_devicePicture);
    dc.SetClipRect(device);
    dc.FillSolidRect(device, RGB(255, 255, 255));
    const CPoint s = GetScrollPosition();
    DrawPicture(dc, m_dZoom,
                CPoint{int32_t(std::lround(s.x * ratio)), int32_t(std::lround(s.y * ratio))});
    // The client area as the map alone makes it, to tell what is drawn over it.
    const QRect r = QRect(clip.left, clip.top, clip.Width(), clip.Height()) & m_mapOnly.rect();
    for (int y = r.top(); y <= r.bottom(); ++y)
        std::copy_n(reinterpret_cast<const QRgb*>(Surface().constScanLine(y)) + r.left(), r.width(),
                    reinterpret_cast<QRgb*>(m_mapOnly.scanLine(y)) + r.left());
}

void COstrelView::paintEvent(QPaintEvent* event) {
    const double ratio = devicePixelRatioF();
    if (ratio == 1.0 || m_nMode != DOCMODE_MAP || m_devicePicture.isNull() ||
        m_mapOnly.size() != Surface().size()) {
        CScrollView::paintEvent(event);
        return;
    }
    // The map at one picture pixel per device pixel, and over it whatever
    // the client area has besides the map (markers, route, crosses) at the
    // screen's scale.
    const QRect r = event->rect() & Surface().rect();
    QImage over(r.size(), QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < r.height(); ++y) {
        const auto* seen =
            reinterpret_cast<const QRgb*>(Surface().constScanLine(r.top() + y)) + r.left();
        const auto* map =
            reinterpret_cast<const QRgb*>(m_mapOnly.constScanLine(r.top() + y)) + r.left();
        auto* out = reinterpret_cast<QRgb*>(over.scanLine(y));
        for (int x = 0; x < r.width(); ++x)
            out[x] = seen[x] != map[x] ? (seen[x] | 0xFF000000) : 0;
    }
    QPainter painter(viewport());
    painter.drawImage(QRectF(r), m_devicePicture,
                      QRectF(r.x() * ratio, r.y() * ratio, r.width() * ratio, r.height() * ratio));
    painter.drawImage(r.topLeft(), over);
}

void COstrelView::DrawZoomedOut(CDC& dc, double zoom, CPoint s) {
    const CSize zoomed{int32_t(std::lround(m_dib.GetWidth() * zoom)),
                       int32_t(std::lround(m_dib.GetHeight() * zoom))};
    const CRect clip = dc.GetClipBox();
    const CRect visible{std::max(clip.left, -s.x), std::max(clip.top, -s.y),
                        std::min(clip.right, zoomed.cx - s.x),
                        std::min(clip.bottom, zoomed.cy - s.y)};
    if (visible.IsRectEmpty())
        return;
    if (zoom <= 0.5)
        StartLevels();
    // Level k is the picture at 1/2^k: the finest one no more than twice the
    // size shown, so that at most a factor of 2 is left to scale.
    int k = 0;
    while (k < m_levels.Count() && zoom * double(int64_t(1) << (k + 1)) <= 1.0 + 1e-9)
        ++k;
    const double scale = zoom * double(int64_t(1) << k); // [client pixel / level pixel]
    if (scale < 0.5 - 1e-9) {
        // No reduced copies: every n-th pixel, which at least costs no more.
        m_dib.Draw(&dc, CRect{-s.x, -s.y, zoomed.cx - s.x, zoomed.cy - s.y},
                   CRect{0, 0, m_dib.GetWidth(), m_dib.GetHeight()});
        return;
    }
    const CDib& level = k == 0 ? m_dib : m_levels.Level(k);
    const int32_t lw = level.GetWidth(), lh = level.GetHeight();
    if (std::fabs(scale - 1.0) < 1e-9) {
        // A zoom of 1/2^k: the level as it is.
        DrawDib(dc, level, CRect{-s.x, -s.y, lw - s.x, lh - s.y}, CRect{0, 0, lw, lh});
        return;
    }
    if (m_bMoving) {
        // While the map moves, the nearest pixel: it costs what actual size costs.
        DrawDib(dc, level, CRect{-s.x, -s.y, zoomed.cx - s.x, zoomed.cy - s.y},
                CRect{0, 0, lw, lh});
        return;
    }
    // At rest the smoothed picture of the whole window is made once and
    // kept: the repaints of the marker and the overlay copy from it.
    const QSize surface = dc.Surface() ? dc.Surface()->size() : QSize();
    const CRect whole{std::max(0, -s.x), std::max(0, -s.y),
                      std::min(surface.width(), zoomed.cx - s.x),
                      std::min(surface.height(), zoomed.cy - s.y)};
    const SmoothKey key{scale, s, &level, whole};
    if (!(key == m_smoothKey) || m_smoothed.isNull()) {
        m_smoothed = QImage();
        m_smoothKey = key;
        if (whole.IsRectEmpty())
            return;
        m_smoothed = QImage(whole.Width(), whole.Height(), QImage::Format_RGB32);
        m_smoothed.fill(Qt::white);
        CDC cache(&m_smoothed);
        SmoothPart(cache, level, scale, CPoint{s.x + whole.left, s.y + whole.top},
                   CRect{0, 0, whole.Width(), whole.Height()});
    }
    DrawImageScaled(dc, m_smoothed, QRectF(whole.left, whole.top, whole.Width(), whole.Height()),
                    false);
}

void COstrelView::SmoothPart(CDC& dc, const CDib& level, double scale, CPoint s,
                             const CRect& visible) {
    const int32_t lw = level.GetWidth(), lh = level.GetHeight();
    // The level's pixels under the visible part, and one more around for the smoothing.
    const auto first = [&](int32_t client, int32_t scroll) {
        return std::max(0, int32_t(std::floor((client + scroll) / scale)) - 1);
    };
    const auto last = [&](int32_t client, int32_t scroll, int32_t size) {
        return std::min(size, int32_t(std::ceil((client + scroll) / scale)) + 1);
    };
    const CRect part{first(visible.left, s.x), first(visible.top, s.y),
                     last(visible.right, s.x, lw), last(visible.bottom, s.y, lh)};
    if (part.IsRectEmpty())
        return;
    QImage pixels(part.Width(), part.Height(), QImage::Format_RGB32);
    CDC into(&pixels);
    DrawDib(into, level, CRect{0, 0, part.Width(), part.Height()}, part);
    DrawImageScaled(dc, pixels,
                    QRectF(part.left * scale - s.x, part.top * scale - s.y, part.Width() * scale,
                           part.Height() * scale),
                    true);
}

void COstrelView::StartLevels() {
    if (m_strLevelEntry.empty() || m_strLevelsTried == m_strLevelEntry)
        return;
    m_strLevelsTried = m_strLevelEntry;
    const int32_t w = m_dib.GetWidth(), h = m_dib.GetHeight();
    // Whole levels left by an earlier build serve until the new ones are made.
    m_levels.Open(m_strLevelEntry, w, h);
    std::string problem;
    if (m_levels.Whole(w, h) || !CMapCache().Prepare(problem))
        return;
    m_pLevelBuild = std::make_unique<CLevelBuild>(m_strLevelEntry, m_dib);
    m_levelSteps.start();
}

void COstrelView::MakeLevelsStep() {
    if (m_pLevelBuild && !m_pLevelBuild->Step())
        return;
    m_pLevelBuild.reset();
    m_levelSteps.stop();
    m_levels.Open(m_strLevelEntry, m_dib.GetWidth(), m_dib.GetHeight());
    RedrawWindow();
}

void COstrelView::Moved() {
    m_bMoving = true;
    m_restTimer.start();
}

void COstrelView::scrollContentsBy(int dx, int dy) {
    Moved();
    CScrollView::scrollContentsBy(dx, dy);
}

void COstrelView::DrawWorldMap(CDC* pDC) {
    if (!pDC)
        return;
    BITMAP bm;
    m_bmpWorld.GetBitmap(&bm);
    CDC memory;
    if (!memory.CreateCompatibleDC(pDC))
        return;
    if (ClientZoom() == 1.0) {
        CBitmap* previous = memory.SelectBitmap(&m_bmpWorld);
        pDC->BitBlt(0, 0, bm.bmWidth, bm.bmHeight, &memory, 0, 0, SRCCOPY);
        memory.SelectBitmap(previous);
    } else {
        const CSize zoomed = ZoomedSize();
        DrawImageScaled(*pDC, m_bmpWorld.Image(), QRectF(0, 0, zoomed.cx, zoomed.cy),
                        ClientZoom() < 1.0);
    }
    SetScrollSizes(ZoomedSize());
    if (m_pDocument)
        m_pDocument->SetTitle(QStringLiteral("World Map"));
}

double COstrelView::ClientZoom() const {
    // A scanned map at actual size shows one picture pixel per device pixel;
    // the world picture follows the screen's scale like the rest of the window.
    return m_nMode == DOCMODE_MAP ? m_dZoom / devicePixelRatioF() : m_dZoom;
}

CSize COstrelView::PictureSize() const {
    if (m_nMode == DOCMODE_WORLDMAP)
        return m_bmpWorld.GetSize();
    if (m_nMode == DOCMODE_MAP)
        return {m_dib.GetWidth(), m_dib.GetHeight()};
    return {};
}

CSize COstrelView::ZoomedSize() const {
    const CSize size = PictureSize();
    const double zoom = ClientZoom();
    return {int32_t(std::lround(size.cx * zoom)), int32_t(std::lround(size.cy * zoom))};
}

CPoint COstrelView::PictureToClient(PixelXY picture) const {
    const CPoint s = GetScrollPosition();
    // Saturated: a place far off the picture stays far off the window.
    auto client = [zoom = ClientZoom()](double p, int32_t scroll) {
        const double c = std::round(p * zoom) - scroll;
        return int32_t(std::clamp(c, -2147483648.0, 2147483647.0));
    };
    return {client(picture.x, s.x), client(picture.y, s.y)};
}

CPoint COstrelView::ClientToPicture(CPoint client) const {
    const CPoint s = GetScrollPosition();
    const double zoom = ClientZoom();
    if (zoom == 1.0)
        return {client.x + s.x, client.y + s.y};
    // The pixel under the client pixel's centre, the one the picture shows there.
    return {int32_t(std::floor((client.x + 0.5 + s.x) / zoom)),
            int32_t(std::floor((client.y + 0.5 + s.y) / zoom))};
}

double COstrelView::MinZoom() const {
    const CSize size = PictureSize();
    if (size.cx <= 0 || size.cy <= 0)
        return 1.0;
    // The room without scroll bars, which the whole map does not need.
    const QSize room = maximumViewportSize();
    const double fit = std::min(double(room.width()) / size.cx, double(room.height()) / size.cy) *
                       (m_dZoom / ClientZoom());
    return fit > 0.0 ? std::min(fit, 1.0) : 1.0;
}

void COstrelView::ZoomTo(double zoom, CPoint anchor) {
    zoom = std::clamp(zoom, MinZoom(), kMaxZoom);
    if (zoom == m_dZoom || PictureSize().cx <= 0)
        return;
    const CPoint s = GetScrollPosition();
    // The picture point under the anchor pixel's centre stays there.
    const double before = ClientZoom();
    const double px = (anchor.x + 0.5 + s.x) / before;
    const double py = (anchor.y + 0.5 + s.y) / before;
    m_dZoom = zoom;
    const double after = ClientZoom();
    Moved();
    SetScrollSizes(ZoomedSize());
    QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
    ScrollToPosition({int32_t(std::lround(px * after - anchor.x - 0.5)),
                      int32_t(std::lround(py * after - anchor.y - 0.5))});
    RedrawWindow();
    ShowZoomInTitle();
}

namespace {

// Zoom steps are powers of the square root of 2: the step next to `zoom`,
// inward or outward (from a zoom between steps, the nearest one that way).
double NextZoomStep(double zoom, bool in) {
    constexpr double kStepTolerance = 1e-6;
    const double k = 2 * std::log2(zoom);
    const double next = in ? std::floor(k + kStepTolerance) + 1 : std::ceil(k - kStepTolerance) - 1;
    return std::pow(2.0, next / 2);
}

CPoint Centre(const CRect& r) {
    return {r.Width() / 2, r.Height() / 2};
}

} // namespace

void COstrelView::OnZoomIn() {
    ZoomTo(NextZoomStep(m_dZoom, true), Centre(GetClientRect()));
}

void COstrelView::OnZoomOut() {
    ZoomTo(NextZoomStep(m_dZoom, false), Centre(GetClientRect()));
}

void COstrelView::OnZoomActualSize() {
    ZoomTo(1.0, Centre(GetClientRect()));
}

void COstrelView::OnZoomFit() {
    ZoomTo(MinZoom(), CPoint{0, 0});
}

void COstrelView::OnUpdateZoom(CCmdUI* ui) {
    ui->Enable(m_nMode == DOCMODE_WORLDMAP || m_nMode == DOCMODE_MAP);
}

void COstrelView::wheelEvent(QWheelEvent* event) {
    if (!(event->modifiers() & Qt::ControlModifier) || event->angleDelta().y() == 0 ||
        (m_nMode != DOCMODE_WORLDMAP && m_nMode != DOCMODE_MAP)) {
        CScrollView::wheelEvent(event);
        return;
    }
    const QPoint at = event->position().toPoint();
    ZoomTo(NextZoomStep(m_dZoom, event->angleDelta().y() > 0), CPoint{at.x(), at.y()});
    event->accept();
}

void COstrelView::ShowZoomInTitle() {
    QMdiSubWindow* frame = GetParentFrame(this);
    if (!frame)
        return;
    QString title = frame->windowTitle();
    if (!m_strZoomSuffix.isEmpty() && title.endsWith(m_strZoomSuffix))
        title.chop(m_strZoomSuffix.size());
    const int percent = int(std::lround(m_dZoom * 100));
    m_strZoomSuffix = percent == 100 ? QString() : QStringLiteral(" (%1 %)").arg(percent);
    frame->setWindowTitle(title + m_strZoomSuffix);
}

namespace {

// The part of segment a-b inside `r` (right and bottom exclusive), as the
// fractions t0..t1 along it; false when none is.
bool ClipSegment(double ax, double ay, double bx, double by, const CRect& r, double& t0,
                 double& t1) {
    t0 = 0;
    t1 = 1;
    const double dx = bx - ax, dy = by - ay;
    const double p[4] = {-dx, dx, -dy, dy};
    const double q[4] = {ax - r.left, r.right - 1 - ax, ay - r.top, r.bottom - 1 - ay};
    for (int i = 0; i < 4; ++i) {
        if (p[i] == 0) {
            if (q[i] < 0)
                return false;
            continue;
        }
        const double t = q[i] / p[i];
        if (p[i] < 0)
            t0 = std::max(t0, t);
        else
            t1 = std::min(t1, t);
    }
    return t0 <= t1;
}

// Arrow head length at the window's edge [pixel].
constexpr int kArrow = 12;

} // namespace

COstrelView::Way COstrelView::NavigationEnds() const {
    if (!m_pOverlay || !m_pOverlay->target || !m_pGps || !m_bCalibrated)
        return std::nullopt;
    const std::optional<CPoint> at = FixPicturePixel(m_pGps->m_fix, Model());
    const std::optional<PixelXY> to = Model().PixelAt(*m_pOverlay->target);
    if (!at || !to)
        return std::nullopt;
    return std::pair{PictureToClient({double(at->x), double(at->y)}), PictureToClient(*to)};
}

CRect COstrelView::NavigationRect(const Way& way) const {
    if (!way)
        return {};
    const auto [a, b] = *way;
    const CRect client = GetClientRect();
    CRect r{std::min(a.x, b.x) - kArrow, std::min(a.y, b.y) - kArrow,
            std::max(a.x, b.x) + kArrow + 1, std::max(a.y, b.y) + kArrow + 1};
    r = {std::max(r.left, client.left), std::max(r.top, client.top),
         std::min(r.right, client.right), std::min(r.bottom, client.bottom)};
    return r.IsRectEmpty() ? CRect{} : r;
}

void COstrelView::RefreshOverlay() {
    if (!m_pOverlay)
        return;
    if (!m_overlayPixels.IsCurrent(*m_pOverlay, Model())) {
        RedrawWindow();
        return;
    }
    const CRect now = NavigationRect(NavigationEnds());
    if (now == m_rcNavigation)
        return;
    if (!m_rcNavigation.IsRectEmpty())
        RedrawWindow(m_rcNavigation);
    if (!now.IsRectEmpty())
        RedrawWindow(now);
}

void COstrelView::DrawOverlay() {
    m_rcNavigation = {};
    if (!m_pOverlay || !m_bCalibrated)
        return;
    m_overlayPixels.Update(*m_pOverlay, Model());

    CClientDC dc(this);
    const CRect client = GetClientRect();
    // The picture area the window shows, a pixel wider all round.
    const CPoint topLeft = ClientToPicture({client.left, client.top});
    const CPoint bottomRight = ClientToPicture({client.right, client.bottom});
    const double left = topLeft.x - 2.0, top = topLeft.y - 2.0;
    const double right = bottomRight.x + 2.0, bottom = bottomRight.y + 2.0;
    for (const OverlayLine& line : m_overlayPixels.Lines()) {
        const COLORREF colour = line.kind == MapOverlay::Recorded ? RGB(255, 128, 0)
                                : line.kind == MapOverlay::Route  ? RGB(160, 0, 160)
                                                                  : RGB(0, 0, 255);
        const CPen previous = dc.SelectPen(CPen{2, colour});
        // The visible runs as one line each, points that fall on one client
        // pixel once.
        std::vector<CPoint> points;
        auto flush = [&] {
            dc.Polyline(points);
            points.clear();
        };
        for (const OverlayRun& run : line.runs) {
            if (run.right < left || run.left > right || run.bottom < top || run.top > bottom) {
                flush();
                continue;
            }
            for (const PixelXY& p : run.points) {
                const CPoint c = PictureToClient(p);
                if (points.empty() || points.back() != c)
                    points.push_back(c);
            }
        }
        flush();
        dc.SelectPen(previous);
    }
    const CPen previous = dc.SelectPen(CPen{2, RGB(0, 160, 0)});
    dc.SetBkMode(TRANSPARENT);
    dc.SetTextColor(RGB(0, 96, 0));
    for (const OverlayMark& mark : m_overlayPixels.Marks()) {
        if (mark.at.x < left || mark.at.x > right || mark.at.y < top || mark.at.y > bottom)
            continue;
        const CPoint p = PictureToClient(mark.at);
        dc.Ellipse(CRect{p.x - 4, p.y - 4, p.x + 5, p.y + 5});
        dc.SetPixelV(p, RGB(0, 160, 0));
        dc.DrawTextUtf8(mark.name, CRect{p.x + 7, p.y - 8, p.x + 400, p.y + 12}, DT_SINGLELINE);
    }
    dc.SelectPen(previous);

    // The way to the target.
    const Way ends = NavigationEnds();
    const CRect way = NavigationRect(ends);
    if (way.IsRectEmpty())
        return;
    const auto [a, b] = *ends;
    const CPen red = dc.SelectPen(CPen{2, RGB(255, 0, 0)});
    dc.MoveTo(a);
    dc.LineTo(b);
    const bool inside =
        b.x >= client.left && b.x < client.right && b.y >= client.top && b.y < client.bottom;
    double t0 = 0, t1 = 1;
    if (!inside && ClipSegment(a.x, a.y, b.x, b.y, client, t0, t1)) {
        // An arrow where the way leaves the window, pointing on.
        const double ex = a.x + (b.x - a.x) * t1, ey = a.y + (b.y - a.y) * t1;
        const double angle = std::atan2(double(b.y - a.y), double(b.x - a.x));
        for (const double side : {-0.45, 0.45}) {
            dc.MoveTo(int32_t(std::lround(ex)), int32_t(std::lround(ey)));
            dc.LineTo(int32_t(std::lround(ex - kArrow * std::cos(angle + side))),
                      int32_t(std::lround(ey - kArrow * std::sin(angle + side))));
        }
    }
    dc.SelectPen(red);
    m_rcNavigation = way;
}
