#include "app/menus.h"

#include "app/menu_table.h"
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
    // Ctrl+= is Ctrl++ without Shift on most layouts.
    {ID_ZOOM_IN, {QKeySequence(Qt::CTRL | Qt::Key_Plus), QKeySequence(Qt::CTRL | Qt::Key_Equal)}},
    {ID_ZOOM_OUT, {QKeySequence(Qt::CTRL | Qt::Key_Minus)}},
    {ID_ZOOM_ACTUAL_SIZE, {QKeySequence(Qt::CTRL | Qt::Key_0)}},
    {ID_ZOOM_FIT, {QKeySequence(Qt::CTRL | Qt::Key_9)}},
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
