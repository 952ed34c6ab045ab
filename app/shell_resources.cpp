#include "app/shell_resources.h"

#include <QString>

// Q_INIT_RESOURCE declares a function, so it cannot stand inside a namespace.
static void RegisterHelpResource() {
    Q_INIT_RESOURCE(help);
}

void InitShellResources() {
    static const bool registered = (RegisterHelpResource(), true);
    (void)registered;
}

QIcon ToolbarIcon(int id) {
    InitShellResources();
    switch (id) {
    case ID_FILE_OPEN:
        return QIcon(QStringLiteral(":/toolbar/open_map.png"));
    case ID_SHOW_ROUTE_LINE:
        return QIcon(QStringLiteral(":/toolbar/show_route_line.png"));
    case ID_SHOW_PROPERTIES:
        return QIcon(QStringLiteral(":/toolbar/show_properties.png"));
    case ID_SHOW_GPS_DATA:
        return QIcon(QStringLiteral(":/toolbar/show_gps_data.png"));
    default:
        return QIcon();
    }
}

QIcon ProgramIcon() {
    InitShellResources();
    return QIcon(QStringLiteral(":/icons/ostrel.png"));
}
