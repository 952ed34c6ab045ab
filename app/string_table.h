#pragma once

#include "map/command_ids.h"
#include "platform/commands.h"

#include <string_view>

// Resource identifiers of the main frame's and the map windows' menus.
enum : int {
    IDR_MAINFRAME = 128,
    IDR_MAPTYPE = 129,
};

// The string table: the program's text of `id`, else the framework's; empty
// when neither has one. A command's text is its status-bar prompt, a line
// feed and its tooltip.
std::string_view ResourceString(int id);

// The status-bar prompt of `id`: its text up to the first line feed.
std::string_view ResourcePrompt(int id);

// The tooltip of `id`: its text after the first line feed, empty without one.
std::string_view ResourceTooltip(int id);
