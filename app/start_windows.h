#pragma once

#include "app/command_line.h"

class CMainFrame;

// After start-up has opened the map file named on the command line (its
// window active): the World Map window beside it, the two tiled, and the
// map window's route line and scroll position, as the command line asks.
// Nothing without a map file.
void ArrangeStartWindows(CMainFrame& frame, const CommandLine& line);
