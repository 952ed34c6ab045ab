#pragma once

#include <QString>
#include <functional>

class CMDIFrameWnd;
class CRecentFileList;
class QToolBar;

// The toolbar: the buttons of kToolbarButtons with their images, tooltips
// and status-bar prompts.
void LoadToolBar(CMDIFrameWnd& frame, QToolBar& bar);

// The menu bar and the accelerator keys of the main window. The menu bar
// shows menu IDR_MAPTYPE while a document window is active and menu
// IDR_MAINFRAME while there is none. Each File menu's recent-file section is
// filled from `recentFiles` as the menu opens; choosing an entry calls
// `openRecentFile` with its path.
void LoadMenus(CMDIFrameWnd& frame, const CRecentFileList& recentFiles,
               std::function<void(const QString& path)> openRecentFile);
