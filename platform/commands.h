#pragma once

#include <cstddef>
#include <string_view>

// The framework's standard commands, as the menus, the toolbar and the
// accelerator keys send them.
enum : int {
    ID_FILE_NEW = 57600,
    ID_FILE_OPEN = 57601,
    ID_FILE_CLOSE = 57602,
    ID_FILE_SAVE = 57603,
    ID_FILE_PRINT_SETUP = 57606,
    ID_FILE_PRINT = 57607,
    ID_FILE_PRINT_DIRECT = 57608,
    ID_FILE_PRINT_PREVIEW = 57609,
    ID_FILE_MRU_FILE1 = 57616, // the recent-file entries are ID_FILE_MRU_FILE1 + index
    ID_EDIT_COPY = 57634,
    ID_EDIT_CUT = 57635,
    ID_EDIT_PASTE = 57637,
    ID_EDIT_UNDO = 57643,
    ID_WINDOW_NEW = 57648,
    ID_WINDOW_ARRANGE = 57649,
    ID_WINDOW_CASCADE = 57650,
    ID_WINDOW_TILE_HORZ = 57651,
    ID_APP_ABOUT = 57664,
    ID_APP_EXIT = 57665,
    ID_HELP_FINDER = 57667,
    ID_CONTEXT_HELP = 57669,
    ID_HELP = 57670,
    ID_DEFAULT_HELP = 57671,
    ID_NEXT_PANE = 57680,
    ID_PREV_PANE = 57681,
    ID_VIEW_TOOLBAR = 59392,
    ID_VIEW_STATUS_BAR = 59393,
};

// The framework's strings that are not command prompts.
enum : int {
    AFX_IDS_APP_TITLE = 57344, // the program's own text
    AFX_IDS_IDLEMESSAGE = 57345,
};

// One text of a string table.
struct StringEntry {
    int id;
    std::string_view text;
};

// The text of `id` in `table`, empty when the table has none.
template <size_t N> constexpr std::string_view FindString(const StringEntry (&table)[N], int id) {
    for (const StringEntry& entry : table)
        if (entry.id == id)
            return entry.text;
    return {};
}

// The framework's text of `id` (its standard English wording), empty when it
// has none. A command's text is its status-bar prompt, a line feed and its
// tooltip.
std::string_view FrameworkString(int id);

// The status-bar prompt of a command text: up to the first line feed.
std::string_view PromptOfText(std::string_view text);

// The tooltip of a command text: after the first line feed, empty without one.
std::string_view TooltipOfText(std::string_view text);
