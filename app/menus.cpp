#include "app/menus.h"

#include "app/shell_resources.h"
#include "app/string_table.h"
#include "platform/mdi_frame.h"
#include "platform/recent_file_list.h"

#include <QAction>
#include <QKeySequence>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QToolBar>
#include <vector>

namespace {

// In a menu table: a separator, and the place of the recent-file entries.
constexpr int kSeparator = 0;
constexpr int kRecentFiles = ID_FILE_MRU_FILE1;

struct MenuItem {
    int id;
    const char* text;
};

struct Popup {
    const char* title;
    std::vector<MenuItem> items;
};

const MenuItem kOpenMap{ID_FILE_OPEN, "&Open map...\tCtrl+O"};
const MenuItem kClose{ID_FILE_CLOSE, "&Close"};
const MenuItem kExit{ID_APP_EXIT, "E&xit"};
const MenuItem kToolbar{ID_VIEW_TOOLBAR, "&Toolbar"};
const MenuItem kStatusBar{ID_VIEW_STATUS_BAR, "&Status Bar"};
const MenuItem kShowWorldMap{ID_SHOW_WORLD_MAP, "Show World Map"};
const MenuItem kShowGpsData{ID_SHOW_GPS_DATA, "Show GPS Data"};
const MenuItem kShowProperties{ID_SHOW_PROPERTIES, "Show Properties"};
const MenuItem kLine{kSeparator, ""};
const MenuItem kRecent{kRecentFiles, ""};
// Our own commands, in both menus just before Help.
const Popup kToolsMenu{"&Tools",
                       {{ID_FIND_RECEIVER, "&Find Receiver..."},
                        kLine,
                        {ID_FOLLOW_POSITION, "&Follow Position"},
                        {ID_EXPORT_TRACK_GPX, "Export &Track as GPX..."},
                        {ID_EXPORT_CALIBRATION, "Export &Calibration..."},
                        kLine,
                        {ID_RECORD_NMEA, "&Record NMEA..."}}};
const Popup kHelpMenu{
    "&Help", {{ID_HELP_FINDER, "&Help Topics"}, kLine, {ID_APP_ABOUT, "&About Ostrel..."}}};

// Menu IDR_MAINFRAME: no document window is open.
const std::vector<Popup> kMainFrameMenu = {
    {"&File", {kOpenMap, kLine, kRecent, kLine, kClose, kExit}},
    {"&View", {kToolbar, kStatusBar, kLine, kShowWorldMap, kShowGpsData, kShowProperties}},
    kToolsMenu,
    kHelpMenu,
};

// Menu IDR_MAPTYPE: a document window is active.
const std::vector<Popup> kMapTypeMenu = {
    {"&File", {kOpenMap, kClose, kLine, kRecent, kLine, kExit}},
    {"&View",
     {kToolbar,
      kStatusBar,
      kLine,
      {ID_SHOW_ROUTE_LINE, "Show Route Line"},
      {ID_CLEAR_ROUTE_LINE, "Clear Route Line"},
      kLine,
      {ID_SHOW_CALIB_POINTS, "Show calibration points"},
      {ID_CLEAR_CALIB_POINTS, "Clear calibration points"},
      kLine,
      kShowGpsData,
      kShowWorldMap,
      kShowProperties}},
    {"&Window",
     {{ID_WINDOW_NEW, "&New Window"},
      {ID_WINDOW_CASCADE, "&Cascade"},
      {ID_WINDOW_TILE_HORZ, "&Tile"},
      {ID_WINDOW_ARRANGE, "&Arrange Icons"}}},
    kToolsMenu,
    kHelpMenu,
};

struct Accelerator {
    int id;
    std::vector<QKeySequence> keys;
};

// Save, the edit keys and the pane keys have no handler, so they do nothing.
const std::vector<Accelerator> kAccelerators = {
    {ID_FILE_NEW, {QKeySequence(Qt::CTRL | Qt::Key_N)}},
    {ID_FILE_OPEN, {QKeySequence(Qt::CTRL | Qt::Key_O)}},
    {ID_FILE_SAVE, {QKeySequence(Qt::CTRL | Qt::Key_S)}},
    {ID_FILE_PRINT, {QKeySequence(Qt::CTRL | Qt::Key_P)}},
    {ID_EDIT_UNDO, {QKeySequence(Qt::CTRL | Qt::Key_Z), QKeySequence(Qt::ALT | Qt::Key_Backspace)}},
    {ID_EDIT_CUT, {QKeySequence(Qt::CTRL | Qt::Key_X), QKeySequence(Qt::SHIFT | Qt::Key_Delete)}},
    {ID_EDIT_COPY, {QKeySequence(Qt::CTRL | Qt::Key_C), QKeySequence(Qt::CTRL | Qt::Key_Insert)}},
    {ID_EDIT_PASTE, {QKeySequence(Qt::CTRL | Qt::Key_V), QKeySequence(Qt::SHIFT | Qt::Key_Insert)}},
    {ID_NEXT_PANE, {QKeySequence(Qt::Key_F6)}},
    {ID_PREV_PANE, {QKeySequence(Qt::SHIFT | Qt::Key_F6)}},
    {ID_CONTEXT_HELP, {QKeySequence(Qt::SHIFT | Qt::Key_F1)}},
    {ID_HELP, {QKeySequence(Qt::Key_F1)}},
};

// The frame's action for command `id`, with the prompt and tooltip of the
// string table. One action serves the menus, the toolbar and the keys.
QAction* Command(CMDIFrameWnd& frame, int id) {
    QAction* action = frame.CommandAction(id);
    action->setStatusTip(QString::fromLatin1(ResourcePrompt(id)));
    action->setToolTip(QString::fromLatin1(ResourceTooltip(id)));
    action->setWhatsThis(action->statusTip());
    action->setIconVisibleInMenu(false);
    return action;
}

// Both menus of the menu bar; the one that fits the frame's state is shown.
class MenuBarSwitch : public QObject {
public:
    MenuBarSwitch(CMDIFrameWnd& frame, const CRecentFileList& recentFiles,
                  std::function<void(const QString& path)> openRecentFile)
        : QObject(&frame), m_frame(frame), m_recentFiles(recentFiles),
          m_openRecentFile(std::move(openRecentFile)), m_mainFrameMenus(Build(kMainFrameMenu)),
          m_mapTypeMenus(Build(kMapTypeMenu)) {}

    void Update() {
        const std::vector<QMenu*>& menus =
            m_frame.MDIGetActive() ? m_mapTypeMenus : m_mainFrameMenus;
        if (m_pShown == &menus)
            return;
        m_pShown = &menus;
        QMenuBar* bar = m_frame.menuBar();
        bar->clear();
        for (QMenu* menu : menus)
            bar->addMenu(menu);
    }

private:
    std::vector<QMenu*> Build(const std::vector<Popup>& popups) {
        std::vector<QMenu*> menus;
        for (const Popup& popup : popups) {
            auto* menu = new QMenu(QString::fromLatin1(popup.title), &m_frame);
            QAction* recentEnd = nullptr;
            for (size_t i = 0; i < popup.items.size(); ++i) {
                const MenuItem& item = popup.items[i];
                if (item.id == kSeparator) {
                    QAction* line = menu->addSeparator();
                    if (i > 0 && popup.items[i - 1].id == kRecentFiles)
                        recentEnd = line;
                } else if (item.id != kRecentFiles) {
                    QAction* action = Command(m_frame, item.id);
                    action->setText(QString::fromLatin1(item.text));
                    menu->addAction(action);
                }
            }
            connect(menu, &QMenu::aboutToShow, this, [this, menu, recentEnd] {
                if (recentEnd)
                    m_recentFiles.UpdateMenu(menu, recentEnd, m_openRecentFile);
                m_frame.UpdateCommandUI();
            });
            if (recentEnd)
                m_recentFiles.UpdateMenu(menu, recentEnd, m_openRecentFile);
            menus.push_back(menu);
        }
        return menus;
    }

    CMDIFrameWnd& m_frame;
    const CRecentFileList& m_recentFiles;
    std::function<void(const QString& path)> m_openRecentFile;
    std::vector<QMenu*> m_mainFrameMenus;
    std::vector<QMenu*> m_mapTypeMenus;
    const std::vector<QMenu*>* m_pShown = nullptr;
};

} // namespace

void LoadToolBar(CMDIFrameWnd& frame, QToolBar& bar) {
    bar.setIconSize(QSize(16, 16));
    for (int id : kToolbarButtons) {
        if (id == kSeparator) {
            bar.addSeparator();
            continue;
        }
        QAction* action = Command(frame, id);
        action->setIcon(ToolbarIcon(id));
        bar.addAction(action);
    }
}

void LoadMenus(CMDIFrameWnd& frame, const CRecentFileList& recentFiles,
               std::function<void(const QString& path)> openRecentFile) {
    auto* menus = new MenuBarSwitch(frame, recentFiles, std::move(openRecentFile));
    QObject::connect(frame.MdiArea(), &QMdiArea::subWindowActivated, menus,
                     [menus] { menus->Update(); });
    menus->Update();
    for (const Accelerator& accelerator : kAccelerators) {
        QAction* action = Command(frame, accelerator.id);
        action->setShortcuts(QList<QKeySequence>(accelerator.keys.begin(), accelerator.keys.end()));
        frame.addAction(action);
    }
    frame.UpdateCommandUI();
}
