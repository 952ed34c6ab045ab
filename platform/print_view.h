#pragma once

#include <QImage>

class CScrollView;
class QPrinter;
class QWidget;

// What `view` shows in its client area now, drawn afresh: the picture with
// its overlays or the data panel, as its draw routine makes it. The live
// position marker is not part of that routine and so not part of the
// picture.
QImage RenderView(CScrollView& view);

// Prints `view` on one page of `printer`: RenderView scaled to fit the
// printable area, keeping its proportions, at the top left. False when the
// view has nothing to show or the printer cannot start.
bool PrintView(CScrollView& view, QPrinter& printer);

// File Print: the print dialog for `printer`, then the page. The dialog
// also offers the print preview, which shows `previewPages` pages side by
// side (1 or 2; 0 leaves Qt's choice) and returns the count the person left
// it at. True when a page was printed.
bool DoFilePrint(CScrollView& view, QPrinter& printer, QWidget* parent, int& previewPages);
// File Print Preview: the page as it would print, with Print and Page
// Setup of its own; `previewPages` as for DoFilePrint.
void DoFilePrintPreview(CScrollView& view, QPrinter& printer, QWidget* parent, int& previewPages);
// File Print Setup: the page setup dialog for `printer`.
void DoFilePrintSetup(QPrinter& printer, QWidget* parent);
