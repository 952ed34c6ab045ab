#pragma once

#include <cstdint>
#include <functional>
#include <string>

class QWidget;

// Closes the current port and opens `name` at `baudRate` [bit/s]; true when
// it could be opened (CGpsReceiver::OpenPort).
using PortOpener = std::function<bool(const std::string& name, int baudRate)>;

// "Show Properties" from the main frame, when no document window is open:
// runs the dialog with g_nUpdateMs, and after OK reopens the port with the
// new settings, reporting a failure in a message box over `owner`.
// Returns the dialog's result, IDOK or IDCANCEL.
int ShowPropertiesFromFrame(QWidget* owner, const PortOpener& openPort);

// "Show Properties" from a map view: runs the dialog showing the view's own
// update period [ms]. Returns IDOK or IDCANCEL; after IDOK the view restarts
// its update timer with g_nUpdateMs and clears the status line's first pane.
// The port is not reopened from here.
int ShowPropertiesFromView(int32_t viewUpdatePeriodMs);
