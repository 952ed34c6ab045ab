#pragma once

#include <string_view>

// Command identifiers of the menus and the toolbar.
enum : int {
    ID_SHOW_CALIB_POINTS = 32771,
    ID_CLEAR_CALIB_POINTS = 32773,
    ID_SHOW_GPS_DATA = 32776,
    ID_SHOW_WORLD_MAP = 32777,
    ID_SHOW_ROUTE_LINE = 32778,
    ID_CLEAR_ROUTE_LINE = 32779,
    ID_SHOW_PROPERTIES = 32780,
    ID_FILE_NEW = 57600,
    ID_FILE_OPEN = 57601,
};

// The program's own string table: "status-bar prompt\ntooltip", or empty.
constexpr std::string_view ResourceString(int id) {
    switch (id) {
    case ID_SHOW_CALIB_POINTS:
        return "Show calibration points\nShow calibration points";
    case ID_CLEAR_CALIB_POINTS:
        return "Clear calibration points\nClear calibration points";
    case ID_SHOW_GPS_DATA:
        return "Show GPS Data\nShow GPS Data";
    case ID_SHOW_WORLD_MAP:
        return "Show World Map\nShow World Map";
    case ID_SHOW_ROUTE_LINE:
        return "Show Route Line\nShow Route Line";
    case ID_CLEAR_ROUTE_LINE:
        return "Clear Route Line\nClear Route Line";
    case ID_SHOW_PROPERTIES:
        return "Show Properties Dialog\nShow Properties Dialog";
    case ID_FILE_NEW:
        return "New World Map\nNew World Map";
    case ID_FILE_OPEN:
        return "Open a map file\nOpen a map file";
    default:
        return {};
    }
}
