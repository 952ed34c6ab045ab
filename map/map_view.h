#pragma once

#include "gps/gps_receiver.h"
#include "map/map_calibration.h"
#include "map/map_model.h"
#include "map/map_overlay.h"
#include "picture/picture_levels.h"
#include "platform/device_context.h"
#include "platform/scroll_view.h"
#include "render/dib.h"

#include <QTimer>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

class CMDIFrameWnd;

// Runs the Properties dialog for a view showing `viewUpdatePeriodMs` [ms];
// IDOK or IDCANCEL.
using PropertiesDialogRunner = int (*)(int32_t viewUpdatePeriodMs);

// Route storage per scanned-map view [points]; allocated once at full size.
constexpr int MAX_ROUTE_POINTS = 100000;
// Radius of the ring marker on a scanned map [pixel].
constexpr int kRingRadius = 12;
// The largest zoom [client pixel / picture pixel].
constexpr double kMaxZoom = 4.0;

// The picture pixel of `fix` on the map of `model`; none without a
// position, at exactly 0/0, or off the model's range.
std::optional<CPoint> FixPicturePixel(const CGpsFix& fix, const CMapModel& model);

// The one view of every document window. Its mode, fixed at the initial
// update from g_nDocMode, says what it shows: the world map, a scanned map
// with its calibration points, route and position ring, or the GPS data
// panel. Its own timer (2) draws the live content from the fix.
class COstrelView : public CScrollView {
    Q_OBJECT

public:
    // The view of a window of `mainFrame`, showing the fix of `gps`; the
    // Properties command runs `showProperties`. None of them is owned.
    COstrelView(CMDIFrameWnd* mainFrame, CGpsReceiver* gps, PropertiesDialogRunner showProperties);
    ~COstrelView() override;

    void OnInitialUpdate() override;
    bool OnCmdMsg(int id, CCmdUI* ui) override;
    void OnTimer(uintptr_t id) override;

    // Map commands of the document menu.
    void OnShowCalibrationPoints();
    void OnUpdateShowCalibrationPoints(CCmdUI* ui);
    void OnClearCalibrationPoints();
    void OnShowRouteLine();
    void OnUpdateShowRouteLine(CCmdUI* ui);
    void OnClearRouteLine();
    // Tools: Follow Position, for scanned-map windows only.
    void OnFollowPosition();
    void OnUpdateFollowPosition(CCmdUI* ui);
    // Tools: the calibration as files other programs read, beside the
    // picture; a file the export did not write is replaced only when the
    // user says so. Calibrated map windows only.
    void OnExportCalibration();
    void OnUpdateExportCalibration(CCmdUI* ui);
    // Tools: zoom of map windows, in steps of the square root of 2 from
    // fitting the whole map to kMaxZoom; the keys zoom about the window's
    // centre, Ctrl + wheel about the pointer.
    void OnZoomIn();
    void OnZoomOut();
    void OnZoomActualSize();
    void OnZoomFit();
    void OnUpdateZoom(CCmdUI* ui);
    // Zooms to `zoom` keeping the picture point under client pixel `anchor`
    // where it is.
    void ZoomTo(double zoom, CPoint anchor);
    double Zoom() const { return m_dZoom; }
    // The reduced copies of the map are being made.
    bool MakingLevels() const { return bool(m_pLevelBuild); }

    // The one transform between picture pixels and client pixels; the
    // picture, the marker, the route, the crosses, the readout and the
    // right-click all go through it. At zoom 1 it is picture - scroll.
    CPoint PictureToClient(PixelXY picture) const;
    // The picture pixel under client pixel `client`.
    CPoint ClientToPicture(CPoint client) const;

    // "Show Properties" with a document window active: this window's period
    // is shown, and after OK only this window's timer restarts.
    void OnShowProperties();

    // The route as lines from each point to the one before, in client
    // pixels: black, with a white line one pixel to the lower right. Only
    // the newest segment when `newestOnly`.
    void DrawRoute(CDC* pDC, bool newestOnly);
    // Crosses at the set reference points, drawn into the client area.
    void DrawCalibrationPoints();

    // Applies the stored calibration of `path`, or else one from a file
    // beside the map, and repaints, if there is one.
    void LoadCalibration(const std::string& path);
    // Stores the calibration under the document's path; a failure is shown
    // in a message box. False only when the store could not be replaced at
    // the end, so the calibration must not count as in force.
    [[nodiscard]] bool SaveCalibration();

    // The scanned map at the scroll position, through a client context;
    // the scroll range becomes the picture's size.
    void DrawScannedMap();
    // The world picture into the paint context; scroll range and title follow.
    void DrawWorldMap(CDC* pDC);

    bool m_bBusy = false;                 // a timer tick is being handled
    int m_nMode = 0;                      // DOCMODE_*, fixed at the initial update
    std::unique_ptr<int32_t[]> m_pRouteX; // [map pixel], scanned-map mode only
    std::unique_ptr<int32_t[]> m_pRouteY; // [map pixel]
    int m_nRoutePoints = 0;
    int m_nUpdatePeriod; // [ms] the period the timer was last started with
    CPen m_penWhite{1, RGB(255, 255, 255)};
    CPen m_penBlack{1, RGB(0, 0, 0)};
    CBitmap m_bmpWorld;
    std::optional<CFont> m_fontSmall;     // client height / 12, from the first size change
    std::optional<CFont> m_fontLarge;     // client height / 4
    CGpsReceiver* m_pGps = nullptr;       // not owned: lives in the main frame
    CMDIFrameWnd* m_pMainFrame = nullptr; // not owned
    CDib m_dib;
    // Where the picture's reduced copies are kept (picture/picture_levels.h);
    // empty: none are made.
    std::string m_strLevelEntry;
    bool m_bCalibrated = false;
    bool m_bMapLoaded = false;
    bool m_bShowCalPoints = false;
    bool m_bShowRoute = false;
    // Scroll so that the marker stays in the middle three quarters; off by
    // default, and turned off by a scroll by hand.
    bool m_bFollowPosition = false;
    CMapCalibration m_cal;
    // The map's own georeference, when it carries one; it then stands in
    // for m_cal in every position.
    std::unique_ptr<CGeoreference> m_pGeoref;
    // The window's one position model.
    CMapModel Model() const { return {m_cal, m_pGeoref.get()}; }
    // What every calibrated map shows over its picture (GPX layers, the
    // recorded track, the way to a navigation target); not owned, may be null.
    const MapOverlay* m_pOverlay = nullptr;
    // The overlay under the map's model and the zoom: layers first, then the
    // line to the target, or an arrow at the edge when the target is outside.
    void DrawOverlay();

protected:
    void OnDraw(CDC* pDC) override;
    void OnSize(uint32_t nType, int32_t cx, int32_t cy) override;
    // Right-click calibration of a scanned map: each click confirmed in the
    // calibration dialog sets the next reference point; with both set the
    // calibration is saved and in force.
    void OnRButtonDown(CPoint point) override;
    // Over a calibrated scanned map: the position under the pointer in the
    // message pane.
    void OnMouseMove(CPoint point) override;
    void scrollContentsBy(int dx, int dy) override;
    void paintEvent(QPaintEvent* event) override;
    // Ctrl + wheel zooms about the pointer; the wheel alone scrolls.
    void wheelEvent(QWheelEvent* event) override;

private:
    static const CommandEntry<COstrelView> kCommands[];
    // Before the marker of a tick: repaints what changed of the overlay.
    void RefreshOverlay();
    // The way to the target in client pixels: from the position, to the target.
    using Way = std::optional<std::pair<CPoint, CPoint>>;
    Way NavigationEnds() const;
    // The client rectangle the line of `way` covers, arrow included.
    CRect NavigationRect(const Way& way) const;
    COverlayPixels m_overlayPixels;
    CRect m_rcNavigation;
    // The picture shown and its size at the current zoom [pixel].
    CSize PictureSize() const;
    CSize ZoomedSize() const;
    // The smallest zoom: the whole map in the window, or actual size for a
    // map smaller than the window.
    double MinZoom() const;
    // The zoom in the frame's caption when it is not 100 %.
    void ShowZoomInTitle();
    // The zoom in client pixels per picture pixel: Zoom() at the screen's scale.
    double ClientZoom() const;
    // The scanned map at `zoom` [context pixel / picture pixel] scrolled by
    // `scroll` [context pixel], where the context's clip allows.
    void DrawPicture(CDC& dc, double zoom, CPoint scroll);
    // The scanned map zoomed out, from the nearest finer reduced copy.
    void DrawZoomedOut(CDC& dc, double zoom, CPoint scroll);
    // On a screen with a scale other than 1: the part of the map under the
    // clip of `client` at device resolution, and the client area as the map
    // alone makes it; the paint event puts what is drawn over it on top.
    void DrawDevicePicture(const CDC& client, double ratio);
    QImage m_devicePicture; // [device pixels]
    QImage m_mapOnly;       // [client pixels]
    // The map scrolled or zoomed: drawn quickly until it rests.
    void Moved();
    // The smoothed picture at rest, and what it was made for.
    struct SmoothKey {
        double scale = 0;
        CPoint scroll;
        const CDib* level = nullptr;
        CRect area; // [client pixel] the picture's part of the window
        friend bool operator==(const SmoothKey&, const SmoothKey&) = default;
    };
    SmoothKey m_smoothKey;
    QImage m_smoothed;
    // The part `visible` [client pixel] of `level` scaled by `scale`,
    // smoothed, for scroll position `s`.
    void SmoothPart(CDC& dc, const CDib& level, double scale, CPoint s, const CRect& visible);
    bool m_bMoving = false;
    QTimer m_restTimer;
    double m_dZoom = 1.0; // [client pixel / picture pixel]
    // Opens the reduced copies, or starts making them in the background.
    void StartLevels();
    void MakeLevelsStep();
    CPictureLevels m_levels;
    std::string m_strLevelsTried; // the entry whose levels were opened or started
    // Reads m_dib, so it goes first (declared after it).
    std::unique_ptr<CLevelBuild> m_pLevelBuild;
    QTimer m_levelSteps;
    QString m_strZoomSuffix;
    PropertiesDialogRunner m_pfnShowProperties;
    void MoveParentFrame(int width, int height);
    void AddRoutePoint(CPoint picture);
    // With Follow Position on: the marker at client `p` has left the middle
    // three quarters, so the map scrolls to put it in the middle and it is
    // drawn again. True when it scrolled. Nothing for a position off the picture.
    bool FollowMarker(CPoint p);
};
