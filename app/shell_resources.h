#pragma once

#include "app/string_table.h"

#include <QIcon>

// The shell's built-in files (res/help.qrc): the help pages under :/help/,
// the toolbar images under :/toolbar/ and the program icon under :/icons/. They live in a static
// library, so they are registered by hand; doing it again does no harm.
void InitShellResources();

// The 16 x 16 image of toolbar command `id`; a null icon for other commands.
QIcon ToolbarIcon(int id);

// The program's icon, for the windows and the About box.
QIcon ProgramIcon();
