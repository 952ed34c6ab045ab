#include "app/string_table.h"

#include "app/menu_table.h"

#include <gtest/gtest.h>
#include <iterator>
#include <set>

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

// Taken from the menus and the toolbar themselves, so that a command added to
// them without its text in the string table is caught.
TEST(StringTable, EveryMenuAndToolbarCommandHasPromptAndTooltip) {
    std::set<int> commands(std::begin(kToolbarButtons), std::end(kToolbarButtons));
    for (const std::vector<Popup>* menu : {&kMainFrameMenu, &kMapTypeMenu})
        for (const Popup& popup : *menu)
            for (const MenuItem& item : popup.items)
                commands.insert(item.id);
    commands.erase(kSeparator);
    commands.erase(kRecentFiles);
    EXPECT_TRUE(commands.contains(ID_RECORD_NMEA)) << "the Tools menu counts too";
    for (int id : commands) {
        EXPECT_FALSE(ResourcePrompt(id).empty()) << "id " << id;
        EXPECT_FALSE(ResourceTooltip(id).empty()) << "id " << id;
        EXPECT_EQ(ResourceTooltip(id).find('\n'), std::string_view::npos) << "id " << id;
    }
}

} // namespace
