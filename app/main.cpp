#include "app/command_line.h"
#include "app/identity.h"
#include "app/identity_names.h"
#include "app/ostrel_app.h"
#include "gps/settings.h"
#include "app/start_windows.h"
#include "gps/monitor.h"

#include <QApplication>
#include <QFile>
#include <cstdio>
#include <string>

int main(int argc, char** argv) {
    CommandLine line;
    std::string error;
    if (!ParseCommandLine(argc, argv, line, error)) {
        std::fprintf(stderr, "ostrel: %s\n%s", error.c_str(), kUsage);
        return 2;
    }
    if (line.help) {
        std::fputs(kUsage, stdout);
        std::fputs(kOptionHelp, stdout);
        return 0;
    }
    if (line.version) {
        const std::string version =
            std::string(kProgramName) + " " + std::string(kProgramVersion) + "\n";
        std::fputs(version.c_str(), stdout);
        return 0;
    }
    // Before anything opens the port.
    if (line.port)
        g_strPortName = *line.port;
    if (line.baudRate)
        g_nBaudRate = *line.baudRate;

    // The monitor needs no display, so it runs before Qt is touched.
    if (line.monitor)
        return RunMonitor(line.ticks, line.intervalMs, stdout, stderr);

    QApplication qtApp(argc, argv);
    ApplyProgramIdentity();
    COstrelApp app;
    if (!app.InitInstance(QFile::decodeName(line.mapFile.c_str())))
        return 1;
    ArrangeStartWindows(*app.m_pMainWnd, line);
    return qtApp.exec();
}
