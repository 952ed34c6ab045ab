#include "platform/commands.h"

namespace {

constexpr StringEntry kFrameworkStrings[] = {
    {AFX_IDS_IDLEMESSAGE, " "},
    {ID_FILE_CLOSE, "Close the active document\nClose"},
    {ID_FILE_SAVE, "Save the active document\nSave"},
    {ID_FILE_PRINT_SETUP, "Change the printer and printing options\nPrint Setup"},
    {ID_FILE_PRINT, "Print the active document\nPrint"},
    {ID_FILE_PRINT_PREVIEW, "Display full pages\nPrint Preview"},
    {ID_FILE_MRU_FILE1, "Open this document"},
    {ID_EDIT_COPY, "Copy the selection and put it on the Clipboard\nCopy"},
    {ID_EDIT_CUT, "Cut the selection and put it on the Clipboard\nCut"},
    {ID_EDIT_PASTE, "Insert Clipboard contents\nPaste"},
    {ID_EDIT_UNDO, "Undo the last action\nUndo"},
    {ID_WINDOW_NEW, "Open another window for the active document\nNew Window"},
    {ID_WINDOW_ARRANGE, "Arrange icons at the bottom of the window\nArrange Icons"},
    {ID_WINDOW_CASCADE, "Arrange windows so they overlap\nCascade Windows"},
    {ID_WINDOW_TILE_HORZ, "Arrange windows as non-overlapping tiles\nTile Windows"},
    {ID_APP_ABOUT, "Display program information, version number and copyright\nAbout"},
    {ID_APP_EXIT, "Quit the application; prompts to save documents\nExit"},
    {ID_HELP_FINDER, "List Help topics\nHelp Topics"},
    {ID_CONTEXT_HELP, "Display help for clicked on buttons, menus and windows\nHelp"},
    {ID_HELP, "Display help for current task or command\nHelp"},
    {ID_NEXT_PANE, "Switch to the next window pane\nNext Pane"},
    {ID_PREV_PANE, "Switch back to the previous window pane\nPrevious Pane"},
    {ID_VIEW_TOOLBAR, "Show or hide the toolbar\nToggle ToolBar"},
    {ID_VIEW_STATUS_BAR, "Show or hide the status bar\nToggle StatusBar"},
};

} // namespace

std::string_view FrameworkString(int id) {
    // The ten recent-file entries share one prompt.
    if (id > ID_FILE_MRU_FILE1 && id < ID_FILE_MRU_FILE1 + 10)
        id = ID_FILE_MRU_FILE1;
    return FindString(kFrameworkStrings, id);
}

std::string_view PromptOfText(std::string_view text) {
    return text.substr(0, text.find('\n'));
}

std::string_view TooltipOfText(std::string_view text) {
    const size_t newline = text.find('\n');
    return newline == std::string_view::npos ? std::string_view() : text.substr(newline + 1);
}
