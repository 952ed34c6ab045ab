#include "app/main_frame.h"

#include "app/dia_export_track.h"
#include "app/dia_find_receiver.h"
#include "app/dia_go_to.h"
#include "app/dia_pick.h"
#include "app/identity.h"
#include "app/menus.h"
#include "app/properties_input.h"
#include "app/show_properties.h"
#include "app/string_table.h"
#include "gps/poll_tick.h"
#include "gps/settings.h"
#include "map/map_model.h"
#include "platform/c_numbers.h"
#include "platform/doc_template.h"
#include "platform/message_box.h"
#include "track/gpx_reader.h"
#include "track/marks.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <algorithm>
#include <chrono>
#include <cmath>

namespace {

constexpr int kPollTimer = 1;
constexpr int kPollPeriodMs = 1000; // [ms], fixed; the views have their own period

} // namespace

const CommandEntry<CMainFrame> CMainFrame::kCommands[] = {
    {ID_SHOW_GPS_DATA, &CMainFrame::OnShowGpsData},
    {ID_SHOW_WORLD_MAP, &CMainFrame::OnShowWorldMap},
    {ID_SHOW_PROPERTIES, &CMainFrame::OnShowProperties},
    {ID_FIND_RECEIVER, &CMainFrame::OnFindReceiver},
    {ID_EXPORT_TRACK_GPX, &CMainFrame::OnExportTrackGpx},
    {ID_RECORD_NMEA, &CMainFrame::OnRecordNmea, &CMainFrame::OnUpdateRecordNmea},
    {ID_OPEN_GPX_LAYER, &CMainFrame::OnOpenGpxLayer},
    {ID_CLOSE_GPX_LAYERS, &CMainFrame::OnCloseGpxLayers, &CMainFrame::OnUpdateCloseGpxLayers},
    {ID_SHOW_RECORDED_TRACK, &CMainFrame::OnShowRecordedTrack,
     &CMainFrame::OnUpdateShowRecordedTrack},
    {ID_MARK_POSITION, &CMainFrame::OnMarkPosition},
    {ID_GO_TO, &CMainFrame::OnGoTo},
    {ID_FOLLOW_ROUTE, &CMainFrame::OnFollowRoute, &CMainFrame::OnUpdateFollowRoute},
    {ID_STOP_NAVIGATION, &CMainFrame::OnStopNavigation, &CMainFrame::OnUpdateStopNavigation},
};

// [ms] the system's UTC clock, for points without an RMC date.
static int64_t SystemUtcMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

// [ms] a clock that only goes forward, for the journal's syncs.
static int64_t SteadyMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

CMainFrame::CMainFrame() {
    setWindowTitle(QString::fromLatin1(ResourceString(AFX_IDS_APP_TITLE)));
}

CMainFrame::~CMainFrame() {
    // The views clear the message pane and use the receiver as they go.
    DestroyChildFrames();
    // An epoch still waiting for the rest of its burst is journalled as it
    // is; there is nobody left to tell of a failure.
    for (const TrackPoint& point : m_trackRecorder.Record({}, SystemUtcMs()))
        (void)m_journal.Append(point, SteadyMs());
}

int CMainFrame::OnCreate() {
    if (CMDIFrameWnd::OnCreate() == -1)
        return -1;

    m_wndToolBar.setObjectName(QStringLiteral("toolbar"));
    m_wndToolBar.setWindowTitle(QStringLiteral("Toolbar"));
    m_wndToolBar.setAllowedAreas(Qt::AllToolBarAreas);
    LoadToolBar(*this, m_wndToolBar);
    addToolBar(Qt::TopToolBarArea, &m_wndToolBar);

    if (!m_wndStatusBar.SetIndicators(
            {ID_SEPARATOR, ID_INDICATOR_CAPS, ID_INDICATOR_NUM, ID_INDICATOR_SCRL}))
        return -1;
    setStatusBar(&m_wndStatusBar);

    // The navigation bar, at the bottom while a target is set.
    m_wndNavigationBar.setObjectName(QStringLiteral("navigation"));
    m_wndNavigationBar.setWindowTitle(QStringLiteral("Navigation"));
    m_wndNavigationBar.setMovable(false);
    m_navigationText.setObjectName(QStringLiteral("navigation_text"));
    m_wndNavigationBar.addWidget(&m_navigationText);
    addToolBar(Qt::BottomToolBarArea, &m_wndNavigationBar);
    m_wndNavigationBar.hide();
    // The marks made before are shown from the start.
    ShowMarks();

    SetTimer(kPollTimer, kPollPeriodMs);
    UpdateCommandUI();
    return 0;
}

bool CMainFrame::OnCmdMsg(int id, CCmdUI* ui) {
    return DispatchCommand<CMainFrame>(*this, kCommands, id, ui) || CMDIFrameWnd::OnCmdMsg(id, ui);
}

void CMainFrame::OnTimer(int id) {
    if (id != kPollTimer || m_bBusy)
        return;
    std::string journalFailure;
    {
        m_bBusy = true;
        // Cleared on every way out, also should the parse throw.
        struct BusyGuard {
            bool& busy;
            ~BusyGuard() { busy = false; }
        } guard{m_bBusy};

        // A receiver that vanished is opened again silently (PollTick).
        const PollResult poll = PollTick(m_gps, [this](NmeaType type, const std::string& sentence) {
            m_strMessage = sentence;
            if (type == NmeaType::Rmc && !sentence.empty() && g_bShowAtStatusLine)
                SetMessageText(sentence);
        });
        // A network source's state, once per change.
        if (!poll.status.empty())
            SetMessageText(poll.status);
        journalFailure = RecordPoll(poll.chunk);
        UpdateNavigation();
        m_wndStatusBar.RefreshIndicators();
    }
    // Outside the tick, so that polling and the journal go on while it is open.
    if (!journalFailure.empty())
        ReportJournalFailure(journalFailure);
}

std::string CMainFrame::RecordPoll(const std::string& chunk) {
    if (m_nmeaRecording.IsOpen() && !chunk.empty())
        if (const std::string message = m_nmeaRecording.Write(chunk); !message.empty())
            SetMessageText(PathText{message});
    std::string journalFailure;
    const int64_t now = SteadyMs();
    for (const TrackPoint& point : m_trackRecorder.Record(chunk, SystemUtcMs())) {
        if (std::string failed = m_journal.Append(point, now); !failed.empty())
            journalFailure = std::move(failed);
        // The recorded track shown grows with what is recorded now.
        if (m_layers.HasRecorded())
            m_layers.AppendRecorded(
                {{point.longitude, point.latitude}, point.altitude, point.timeMs});
    }
    m_journal.SyncIfDue(now);
    return journalFailure;
}

void CMainFrame::ReportJournalFailure(const std::string& message) {
    // One box at a time: while one is open, it already says the journal fails.
    if (m_bJournalBoxOpen)
        return;
    m_bJournalBoxOpen = true;
    ShowMessageBox(this, PathText{message});
    m_bJournalBoxOpen = false;
}

std::string CMainFrame::StartNmeaRecording(const std::string& path) {
    return m_nmeaRecording.Open(path);
}

void CMainFrame::OnRecordNmea() {
    if (m_nmeaRecording.IsOpen()) {
        m_nmeaRecording.Close();
        return;
    }
    QFileDialog dialog(this, QStringLiteral("Record NMEA"), QString(),
                       QStringLiteral("NMEA logs (*.nmea *.txt *.log);;All Files (*)"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(QStringLiteral("nmea"));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;
    const std::string path = QFile::encodeName(dialog.selectedFiles().front()).toStdString();
    if (const std::string message = StartNmeaRecording(path); !message.empty())
        ShowMessageBox(this, PathText{message});
}

void CMainFrame::OnUpdateRecordNmea(CCmdUI* ui) {
    ui->SetText(m_nmeaRecording.IsOpen() ? "Stop &Recording NMEA" : "&Record NMEA...");
}

void CMainFrame::OnExportTrackGpx() {
    CDia_ExportTrack dialog(m_journal.Folder(), std::string(kProgramNameAndVersion), this);
    (void)dialog.DoModal();
}

void CMainFrame::OnShowGpsData() {
    OpenWindow(DOCMODE_GPSDATA, QStringLiteral("GPS Data"));
}

void CMainFrame::OnShowWorldMap() {
    OpenWindow(DOCMODE_WORLDMAP, QStringLiteral("World Map"));
}

void CMainFrame::OnShowProperties() {
    ShowPropertiesFromFrame(
        this, [this](const std::string& name, int baudRate) { return ReopenPort(name, baudRate); });
}

bool CMainFrame::ReopenPort(const std::string& name, int baudRate) {
    if (m_gps.OpenPort(name, baudRate))
        return true;
    m_strMessage = PortOpenFailureMessage(name, baudRate);
    return false;
}

void CMainFrame::OnFindReceiver() {
    // A serial port this program holds would be "in use by another program"
    // to the search: it is let go meanwhile, and taken back unless OK opens
    // another.
    m_gps.ReleasePort();
    CDia_FindReceiver dialog(m_strProbeProgram.isEmpty() ? QCoreApplication::applicationFilePath()
                                                         : m_strProbeProgram,
                             m_probeDevices, this);
    if (dialog.DoModal() != IDOK) {
        m_gps.TakeBackPort();
        return;
    }
    // As the Properties dialog's OK: the settings, then the port.
    g_strPortName = dialog.m_strPort;
    g_nBaudRate = dialog.m_nBaudRate;
    if (!ReopenPort(g_strPortName, g_nBaudRate))
        ShowMessageBox(this, PortOpenFailureMessage(g_strPortName, g_nBaudRate));
}

void CMainFrame::OpenWindow(int docMode, const QString& title) {
    if (!m_pDocTemplate)
        return;
    g_nDocMode = docMode;
    if (CDocument* doc = m_pDocTemplate->OpenDocumentFile())
        doc->SetTitle(title);
}

std::optional<LonLat> CMainFrame::FixPosition() const {
    const std::optional<LonLat> g = FixDegrees(m_gps.m_fix);
    // 0/0 is what a receiver without a fix reports, as the maps take it.
    if (!g || (g->lat == 0 && g->lon == 0) || std::fabs(g->lat) > 90 || std::fabs(g->lon) > 180)
        return std::nullopt;
    return g;
}

void CMainFrame::OpenGpxLayers(const std::vector<std::string>& paths) {
    QStringList opened;
    for (const std::string& path : paths) {
        const GpxRead read = ReadGpxFile(path);
        if (!read.message.empty()) {
            ShowMessageBox(this, PathText{read.message});
            continue;
        }
        const std::string name =
            QFileInfo(QFile::decodeName(path.c_str())).fileName().toStdString();
        opened << QStringLiteral("%1: %2").arg(QString::fromStdString(name),
                                               QString::fromStdString(GpxCounts(read)));
        m_layers.Add({GpxLayer::File, name, read.data});
    }
    if (!opened.isEmpty())
        SetMessageText(PathText{opened.join(QStringLiteral("; ")).toStdString()});
}

void CMainFrame::OnOpenGpxLayer() {
    const QStringList files =
        QFileDialog::getOpenFileNames(this, QStringLiteral("Open GPX Layer"), QString(),
                                      QStringLiteral("GPX files (*.gpx);;All Files (*)"));
    std::vector<std::string> paths;
    for (const QString& file : files)
        paths.push_back(QFile::encodeName(file).toStdString());
    OpenGpxLayers(paths);
}

void CMainFrame::OnCloseGpxLayers() {
    m_layers.CloseFiles();
}

void CMainFrame::OnUpdateCloseGpxLayers(CCmdUI* ui) {
    ui->Enable(std::any_of(m_layers.Layers().begin(), m_layers.Layers().end(),
                           [](const GpxLayer& l) { return l.kind == GpxLayer::File; }));
}

void CMainFrame::OnShowRecordedTrack() {
    if (m_layers.HasRecorded()) {
        // A second choice hides it.
        m_layers.HideRecorded();
        return;
    }
    const std::vector<JournalDay> days = ListJournalDays(m_journal.Folder());
    const std::string today = FormatUtcDay(SystemUtcMs());
    QStringList rows;
    std::vector<int> chosen;
    for (size_t i = 0; i < days.size(); ++i) {
        rows << QStringLiteral("%1   %2 points")
                    .arg(QString::fromStdString(days[i].day))
                    .arg(days[i].points);
        if (days[i].day == today)
            chosen.push_back(int(i));
    }
    std::vector<GpxPoint> points;
    if (!days.empty()) {
        CDia_Pick dialog(QStringLiteral("Show Recorded Track"),
                         QStringLiteral("Recorded days (UTC):"), rows, true, chosen, this);
        if (dialog.DoModal() != IDOK)
            return;
        chosen = dialog.m_chosen;
    }
    for (int row : chosen)
        for (const TrackPoint& p : ReadJournalFile(days[size_t(row)].path))
            points.push_back({{p.longitude, p.latitude}, p.altitude, p.timeMs});
    m_layers.SetRecorded(std::move(points));
}

void CMainFrame::OnUpdateShowRecordedTrack(CCmdUI* ui) {
    ui->SetCheck(m_layers.HasRecorded());
}

void CMainFrame::ShowMarks() {
    const GpxRead marks = ReadMarks(DefaultMarksPath());
    if (marks.message.empty() && !marks.data.waypoints.empty())
        m_layers.Add({GpxLayer::Marks, "Marks", marks.data});
}

void CMainFrame::OnMarkPosition() {
    const std::optional<LonLat> position = FixPosition();
    if (!position) {
        ShowMessageBox(this, "There is no position to mark.");
        return;
    }
    const GpxWaypoint mark =
        MarkOfFix(*position, OptionalCReal(m_gps.m_fix.m_strAltitude), SystemUtcMs());
    if (const std::string failed =
            AppendMark(DefaultMarksPath(), mark, std::string(kProgramNameAndVersion));
        !failed.empty()) {
        ShowMessageBox(this, PathText{failed});
        return;
    }
    ShowMarks();
    SetMessageText("Marked " + mark.name);
}

void CMainFrame::OnGoTo() {
    std::vector<GpxWaypoint> waypoints;
    for (const GpxLayer& layer : m_layers.Layers())
        waypoints.insert(waypoints.end(), layer.data.waypoints.begin(), layer.data.waypoints.end());
    CDia_GoTo dialog(std::move(waypoints), FixPosition(), this);
    if (dialog.DoModal() != IDOK)
        return;
    m_navigation.GoTo(dialog.m_target);
    UpdateNavigation();
}

void CMainFrame::OnFollowRoute() {
    std::vector<const GpxRoute*> routes;
    QStringList rows;
    for (const GpxLayer& layer : m_layers.Layers())
        for (const GpxRoute& route : layer.data.routes) {
            routes.push_back(&route);
            rows << QStringLiteral("%1   %2 points")
                        .arg(QString::fromStdString(route.name.empty() ? "(no name)" : route.name))
                        .arg(route.points.size());
        }
    CDia_Pick dialog(QStringLiteral("Follow Route"), QStringLiteral("Routes of the open layers:"),
                     rows, false, {0}, this);
    if (routes.empty() || dialog.DoModal() != IDOK || dialog.m_chosen.empty())
        return;
    std::vector<NavTarget> points;
    for (const GpxWaypoint& w : routes[size_t(dialog.m_chosen.front())]->points)
        points.push_back({w.name, w.position});
    m_navigation.FollowRoute(std::move(points));
    UpdateNavigation();
}

void CMainFrame::OnUpdateFollowRoute(CCmdUI* ui) {
    ui->Enable(std::any_of(m_layers.Layers().begin(), m_layers.Layers().end(),
                           [](const GpxLayer& l) { return !l.data.routes.empty(); }));
}

void CMainFrame::OnStopNavigation() {
    m_navigation.Stop();
    UpdateNavigation();
}

void CMainFrame::OnUpdateStopNavigation(CCmdUI* ui) {
    ui->Enable(m_navigation.Active());
}

void CMainFrame::UpdateNavigation() {
    const std::optional<NavReadout> readout =
        m_navigation.Update(FixPosition(), OptionalCReal(m_gps.m_fix.m_strSpeedKnots));
    std::optional<LonLat> target;
    if (m_navigation.Active())
        target = m_navigation.Target();
    const std::optional<LonLat> shown = m_layers.Overlay().target;
    if (target.has_value() != shown.has_value() ||
        (target && (target->lon != shown->lon || target->lat != shown->lat)))
        m_layers.SetTarget(target);
    if (!m_navigation.Active()) {
        m_wndNavigationBar.hide();
        return;
    }
    m_navigationText.setText(readout ? QString::fromStdString(NavigationBarText(*readout))
                                     : QStringLiteral("%1: no position")
                                           .arg(QString::fromStdString(m_navigation.TargetName())));
    m_wndNavigationBar.show();
}
