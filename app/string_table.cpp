#include "app/string_table.h"

#include "app/identity.h"

namespace {

// The program's own commands, the title and the first two File commands,
// whose wording is ours rather than the framework's.
constexpr StringEntry kStrings[] = {
    {ID_SHOW_CALIB_POINTS, "Show calibration points\nShow calibration points"},
    {ID_CLEAR_CALIB_POINTS, "Clear calibration points\nClear calibration points"},
    {ID_SHOW_GPS_DATA, "Show GPS Data\nShow GPS Data"},
    {ID_SHOW_WORLD_MAP, "Show World Map\nShow World Map"},
    {ID_SHOW_ROUTE_LINE, "Show Route Line\nShow Route Line"},
    {ID_CLEAR_ROUTE_LINE, "Clear Route Line\nClear Route Line"},
    {ID_SHOW_PROPERTIES, "Show Properties Dialog\nShow Properties Dialog"},
    {ID_FIND_RECEIVER, "Look for the receiver on every serial device and bit rate\nFind Receiver"},
    {ID_FOLLOW_POSITION, "Scroll the map to keep the position in view\nFollow Position"},
    {ID_EXPORT_TRACK_GPX, "Write recorded days of the track to a GPX file\nExport Track as GPX"},
    {ID_EXPORT_CALIBRATION, "Write the map's calibration for other programs\nExport Calibration"},
    {ID_RECORD_NMEA, "Record or stop recording what the receiver sends\nRecord NMEA"},
    {ID_ZOOM_IN, "Show the map larger\nZoom In"},
    {ID_ZOOM_OUT, "Show more of the map\nZoom Out"},
    {ID_ZOOM_ACTUAL_SIZE, "Show one picture pixel per screen pixel\nActual Size"},
    {ID_ZOOM_FIT, "Show the whole map in the window\nFit Map in Window"},
    {ID_OPEN_GPX_LAYER, "Show GPX files on every calibrated map\nOpen GPX Layer"},
    {ID_CLOSE_GPX_LAYERS, "Remove the GPX layers from the maps\nClose GPX Layers"},
    {ID_SHOW_RECORDED_TRACK, "Show or hide the recorded track on the maps\nShow Recorded Track"},
    {ID_MARK_POSITION, "Store the current position as a mark\nMark Position"},
    {ID_GO_TO, "Navigate to a waypoint or a position\nGo To"},
    {ID_FOLLOW_ROUTE, "Navigate along a route of a GPX layer\nFollow Route"},
    {ID_STOP_NAVIGATION, "End the navigation\nStop Navigation"},
    {AFX_IDS_APP_TITLE, kProgramName},
    {ID_FILE_NEW, "New World Map\nNew World Map"},
    {ID_FILE_OPEN, "Open a map file\nOpen a map file"},
};

} // namespace

std::string_view ResourceString(int id) {
    const std::string_view own = FindString(kStrings, id);
    return own.empty() ? FrameworkString(id) : own;
}

std::string_view ResourcePrompt(int id) {
    return PromptOfText(ResourceString(id));
}

std::string_view ResourceTooltip(int id) {
    return TooltipOfText(ResourceString(id));
}
