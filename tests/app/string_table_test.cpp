#include "app/string_table.h"

#include <gtest/gtest.h>

namespace {

struct SplitCase {
    int id;
    std::string_view prompt;
    std::string_view tooltip;
};

TEST(StringTable, PromptIsBeforeTheLineFeedAndTooltipAfterIt) {
    const SplitCase cases[] = {
        {ID_FILE_OPEN, "Open a map file", "Open a map file"},
        {ID_FILE_NEW, "New World Map", "New World Map"},
        {ID_SHOW_PROPERTIES, "Show Properties Dialog", "Show Properties Dialog"},
        {ID_FILE_CLOSE, "Close the active document", "Close"},
        {ID_APP_ABOUT, "Display program information, version number and copyright", "About"},
        {ID_WINDOW_TILE_HORZ, "Arrange windows as non-overlapping tiles", "Tile Windows"},
        // No line feed: all prompt, no tooltip.
        {AFX_IDS_APP_TITLE, "Ostrel", ""},
        {AFX_IDS_IDLEMESSAGE, " ", ""},
        {ID_FILE_MRU_FILE1 + 9, "Open this document", ""},
        // No string at all.
        {ID_FILE_MRU_FILE1 + 10, "", ""},
        {ID_DEFAULT_HELP, "", ""},
        {0, "", ""},
    };
    for (const SplitCase& c : cases) {
        EXPECT_EQ(ResourcePrompt(c.id), c.prompt) << "id " << c.id;
        EXPECT_EQ(ResourceTooltip(c.id), c.tooltip) << "id " << c.id;
    }
}

TEST(StringTable, EveryMenuAndToolbarCommandHasPromptAndTooltip) {
    const int commands[] = {
        ID_SHOW_CALIB_POINTS, ID_CLEAR_CALIB_POINTS, ID_SHOW_GPS_DATA,    ID_SHOW_WORLD_MAP,
        ID_SHOW_ROUTE_LINE,   ID_CLEAR_ROUTE_LINE,   ID_SHOW_PROPERTIES,  ID_FILE_OPEN,
        ID_FILE_CLOSE,        ID_APP_EXIT,           ID_VIEW_TOOLBAR,     ID_VIEW_STATUS_BAR,
        ID_WINDOW_NEW,        ID_WINDOW_CASCADE,     ID_WINDOW_TILE_HORZ, ID_WINDOW_ARRANGE,
        ID_HELP_FINDER,       ID_APP_ABOUT,
    };
    for (int id : commands) {
        EXPECT_FALSE(ResourcePrompt(id).empty()) << "id " << id;
        EXPECT_FALSE(ResourceTooltip(id).empty()) << "id " << id;
        EXPECT_EQ(ResourceTooltip(id).find('\n'), std::string_view::npos) << "id " << id;
    }
}

} // namespace
