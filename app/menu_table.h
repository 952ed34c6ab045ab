#pragma once

#include "app/string_table.h"

#include <vector>

// The menus and the toolbar as tables: the command each item sends and its
// text, '&' before the access key.

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

// Menu IDR_MAINFRAME: no document window is open.
extern const std::vector<Popup> kMainFrameMenu;
// Menu IDR_MAPTYPE: a document window is active.
extern const std::vector<Popup> kMapTypeMenu;

// The toolbar's buttons from left to right; kSeparator stands for a separator.
inline constexpr int kToolbarButtons[] = {ID_FILE_OPEN, ID_SHOW_ROUTE_LINE, ID_SHOW_PROPERTIES,
                                          kSeparator, ID_SHOW_GPS_DATA};
