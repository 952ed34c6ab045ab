#include "gps/main_frame.h"

#include "app/ostrel_app.h"
#include "app/properties_input.h"
#include "app/resource.h"
#include "app/settings.h"
#include "app/show_properties.h"
#include "gps/poll_tick.h"
#include "platform/doc_template.h"

#include <QAction>
#include <QPainter>
#include <QPainterPath>

namespace {

constexpr int kPollTimer = 1;
constexpr int kPollPeriodMs = 1000; // [ms], fixed; the views have their own period

// The four 16 x 16 button images: Open map, Show Route Line, Show
// Properties, Show GPS Data.
QIcon ToolbarImage(int index) {
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing, false);
    switch (index) {
    case 0: { // an opening folder
        p.setPen(Qt::black);
        p.setBrush(QColor(255, 255, 0));
        p.drawPolygon(QPolygon({QPoint(1, 4), QPoint(6, 4), QPoint(7, 5), QPoint(13, 5),
                                QPoint(13, 13), QPoint(1, 13)}));
        p.setBrush(QColor(128, 128, 0));
        p.drawPolygon(QPolygon({QPoint(3, 8), QPoint(15, 8), QPoint(13, 13), QPoint(1, 13)}));
        break;
    }
    case 1: { // a route: black line with its white companion
        const QPolygon route({QPoint(1, 13), QPoint(5, 6), QPoint(9, 10), QPoint(14, 2)});
        p.setPen(QPen(Qt::white, 1));
        p.drawPolyline(route.translated(1, 1));
        p.setPen(QPen(Qt::black, 1));
        p.drawPolyline(route);
        p.fillRect(13, 1, 3, 3, Qt::red);
        break;
    }
    case 2: { // a dialog with a tick box and two fields
        p.setPen(Qt::black);
        p.setBrush(QColor(192, 192, 192));
        p.drawRect(1, 1, 13, 13);
        p.fillRect(2, 2, 12, 2, QColor(0, 0, 128));
        p.setBrush(Qt::white);
        p.drawRect(3, 6, 3, 3);
        p.drawLine(4, 7, 5, 8);
        p.drawRect(8, 6, 5, 2);
        p.drawRect(8, 10, 5, 2);
        break;
    }
    default: { // a receiver: a dish with its waves
        p.setPen(QPen(Qt::black, 1));
        p.setBrush(QColor(128, 128, 128));
        p.drawPie(QRect(1, 5, 10, 10), 45 * 16, 180 * 16);
        p.drawLine(6, 10, 3, 15);
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(QColor(255, 0, 0), 1));
        p.drawArc(QRect(7, 0, 8, 8), 0, 90 * 16);
        p.drawArc(QRect(9, 2, 4, 4), 0, 90 * 16);
        break;
    }
    }
    return QIcon(pixmap);
}

} // namespace

CMainFrame::CMainFrame() {
    setWindowTitle(QStringLiteral("Ostrel"));
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
    m_wndToolBar.setIconSize(QSize(16, 16));
    m_wndToolBar.setAllowedAreas(Qt::AllToolBarAreas);
    const int buttons[] = {ID_FILE_OPEN, ID_SHOW_ROUTE_LINE, ID_SHOW_PROPERTIES, 0,
                           ID_SHOW_GPS_DATA};
    int image = 0;
    for (int id : buttons) {
        if (id == 0) {
            m_wndToolBar.addSeparator();
            continue;
        }
        QAction* action = CommandAction(id);
        const std::string_view text = ResourceString(id);
        const size_t newline = text.find('\n');
        action->setStatusTip(QString::fromLatin1(text.substr(0, newline)));
        action->setToolTip(QString::fromLatin1(text.substr(newline + 1)));
        action->setText(action->toolTip());
        action->setIcon(ToolbarImage(image++));
        m_wndToolBar.addAction(action);
    }
    addToolBar(Qt::TopToolBarArea, &m_wndToolBar);

    if (!m_wndStatusBar.SetIndicators(
            {ID_SEPARATOR, ID_INDICATOR_CAPS, ID_INDICATOR_NUM, ID_INDICATOR_SCRL}))
        return -1;
    setStatusBar(&m_wndStatusBar);

    SetTimer(kPollTimer, kPollPeriodMs);
    UpdateCommandUI();
    return 0;
}

void CMainFrame::SetMessageText(const std::string& text) {
    m_wndStatusBar.SetWindowText(StatusTextFromBytes(text));
}

bool CMainFrame::OnCmdMsg(int id, CCmdUI* ui) {
    switch (id) {
    case ID_SHOW_GPS_DATA:
        if (!ui)
            OnShowGpsData();
        return true;
    case ID_SHOW_WORLD_MAP:
        if (!ui)
            OnShowWorldMap();
        return true;
    case ID_SHOW_PROPERTIES:
        if (!ui)
            OnShowProperties();
        return true;
    default:
        return false;
    }
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

    const std::string chunk = m_gps.ReadPort();
    HandlePolledChunk(m_gps, chunk, [this](NmeaType type, const std::string& sentence) {
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
    COstrelApp* app = AfxGetApp();
    if (!app || !app->m_pDocTemplate)
        return;
    g_nDocMode = docMode;
    if (CDocument* doc = app->m_pDocTemplate->OpenDocumentFile())
        doc->SetTitle(title);
}
