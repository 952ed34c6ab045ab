#pragma once

// The program's own commands, sent by its menus and toolbar.
enum : int {
    ID_SHOW_CALIB_POINTS = 32771,
    ID_CLEAR_CALIB_POINTS = 32773,
    ID_SHOW_GPS_DATA = 32776,
    ID_SHOW_WORLD_MAP = 32777,
    ID_SHOW_ROUTE_LINE = 32778,
    ID_CLEAR_ROUTE_LINE = 32779,
    ID_SHOW_PROPERTIES = 32780,
    // The Tools menu.
    ID_FIND_RECEIVER = 32781,
    ID_FOLLOW_POSITION = 32782,
    ID_EXPORT_TRACK_GPX = 32783,
    ID_EXPORT_CALIBRATION = 32784,
    ID_RECORD_NMEA = 32785,
};
