#include "app/menu_table.h"

namespace {

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
                        {ID_FOLLOW_POSITION, "Follow &Position"},
                        {ID_EXPORT_TRACK_GPX, "Export &Track as GPX..."},
                        {ID_EXPORT_CALIBRATION, "Export &Calibration..."},
                        kLine,
                        {ID_ZOOM_IN, "Zoom &In\tCtrl++"},
                        {ID_ZOOM_OUT, "Zoom &Out\tCtrl+-"},
                        {ID_ZOOM_ACTUAL_SIZE, "&Actual Size\tCtrl+0"},
                        {ID_ZOOM_FIT, "Fit &Map in Window\tCtrl+9"},
                        kLine,
                        {ID_RECORD_NMEA, "&Record NMEA..."},
                        kLine,
                        {ID_OPEN_GPX_LAYER, "Open GP&X Layer..."},
                        {ID_CLOSE_GPX_LAYERS, "C&lose GPX Layers"},
                        {ID_SHOW_RECORDED_TRACK, "Show Recor&ded Track..."},
                        {ID_MARK_POSITION, "Mar&k Position\tCtrl+M"},
                        kLine,
                        {ID_GO_TO, "&Go To..."},
                        {ID_FOLLOW_ROUTE, "Follow Ro&ute..."},
                        {ID_STOP_NAVIGATION, "&Stop Navigation"}}};
const Popup kHelpMenu{
    "&Help", {{ID_HELP_FINDER, "&Help Topics"}, kLine, {ID_APP_ABOUT, "&About Ostrel..."}}};

} // namespace

const std::vector<Popup> kMainFrameMenu = {
    {"&File", {kOpenMap, kLine, kRecent, kLine, kClose, kExit}},
    {"&View", {kToolbar, kStatusBar, kLine, kShowWorldMap, kShowGpsData, kShowProperties}},
    kToolsMenu,
    kHelpMenu,
};

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
