#include "app/main_frame.h"

#include "app/dia_export_track.h"
#include "app/dia_find_receiver.h"
#include "app/identity.h"
#include "app/menus.h"
#include "app/properties_input.h"
#include "app/show_properties.h"
#include "app/string_table.h"
#include "gps/poll_tick.h"
#include "gps/settings.h"
#include "platform/doc_template.h"
#include "platform/message_box.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileDialog>
#include <chrono>

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
    for (const TrackPoint& point : m_trackRecorder.Record(chunk, SystemUtcMs()))
        if (std::string failed = m_journal.Append(point, now); !failed.empty())
            journalFailure = std::move(failed);
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
