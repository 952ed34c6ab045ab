#include "app/main_frame.h"

#include "app/menus.h"
#include "app/properties_input.h"
#include "app/show_properties.h"
#include "app/string_table.h"
#include "gps/poll_tick.h"
#include "gps/settings.h"
#include "platform/doc_template.h"

namespace {

constexpr int kPollTimer = 1;
constexpr int kPollPeriodMs = 1000; // [ms], fixed; the views have their own period

} // namespace

const CommandEntry<CMainFrame> CMainFrame::kCommands[] = {
    {ID_SHOW_GPS_DATA, &CMainFrame::OnShowGpsData},
    {ID_SHOW_WORLD_MAP, &CMainFrame::OnShowWorldMap},
    {ID_SHOW_PROPERTIES, &CMainFrame::OnShowProperties},
};

CMainFrame::CMainFrame() {
    setWindowTitle(QString::fromLatin1(ResourceString(AFX_IDS_APP_TITLE)));
}

CMainFrame::~CMainFrame() {
    // The views clear the message pane and use the receiver as they go.
    DestroyChildFrames();
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
    m_bBusy = true;
    // Cleared on every way out, also should the parse throw.
    struct BusyGuard {
        bool& busy;
        ~BusyGuard() { busy = false; }
    } guard{m_bBusy};

    // A receiver that vanished is opened again silently (PollTick).
    PollTick(m_gps, [this](NmeaType type, const std::string& sentence) {
        m_strMessage = sentence;
        if (type == NmeaType::Rmc && !sentence.empty() && g_bShowAtStatusLine)
            SetMessageText(sentence);
    });
    m_wndStatusBar.RefreshIndicators();
}

void CMainFrame::OnShowGpsData() {
    OpenWindow(DOCMODE_GPSDATA, QStringLiteral("GPS Data"));
}

void CMainFrame::OnShowWorldMap() {
    OpenWindow(DOCMODE_WORLDMAP, QStringLiteral("World Map"));
}

void CMainFrame::OnShowProperties() {
    ShowPropertiesFromFrame(this, [this](const std::string& name, int baudRate) {
        if (m_gps.OpenPort(name, baudRate))
            return true;
        m_strMessage = PortOpenFailureMessage(name, baudRate);
        return false;
    });
}

void CMainFrame::OpenWindow(int docMode, const QString& title) {
    if (!m_pDocTemplate)
        return;
    g_nDocMode = docMode;
    if (CDocument* doc = m_pDocTemplate->OpenDocumentFile())
        doc->SetTitle(title);
}
