#include "app/start_windows.h"

#include "app/main_frame.h"
#include "app/string_table.h"
#include "map/map_view.h"

#include <QMdiArea>
#include <QMdiSubWindow>

void ArrangeStartWindows(CMainFrame& frame, const CommandLine& line) {
    QMdiSubWindow* mapWindow = frame.MDIGetActive();
    auto* view = mapWindow ? qobject_cast<COstrelView*>(mapWindow->widget()) : nullptr;
    if (line.mapFile.empty() || !view)
        return;
    // The same commands a user would choose from the menus.
    if (line.showRoute && !view->m_bShowRoute)
        frame.RouteCommand(ID_SHOW_ROUTE_LINE);
    if (line.worldMap) {
        frame.RouteCommand(ID_SHOW_WORLD_MAP);
        frame.RouteCommand(ID_WINDOW_TILE_HORZ);
        frame.MdiArea()->setActiveSubWindow(mapWindow);
    }
    // Last, when the window has its size.
    if (line.centre)
        view->CenterOnPoint(*line.centre);
}
