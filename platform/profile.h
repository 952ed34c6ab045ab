#pragma once

// What the program remembers between runs: the default QSettings, under
// QCoreApplication's organisation and application names, which the program
// sets at start-up (on Linux the file ~/.config/Kelvane/Ostrel.conf). It
// holds the recent-file list, section "Recent File List", and the
// print-preview page count, section "Settings"; the run-time settings of the
// Properties dialog are never stored.

// "PreviewPages" of section "Settings": the number of pages the print
// preview shows side by side; 0 when it is absent or not a number.
int GetProfilePreviewPages();
void WriteProfilePreviewPages(int pages);
