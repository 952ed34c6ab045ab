#include "app/command_line.h"
#include "app/ostrel_app.h"
#include "gps/settings.h"
#include "app/start_windows.h"
#include "gps/monitor.h"
#include "map/calibration_export.h"

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
        std::printf("Ostrel 1.0.0.1\n");
        return 0;
    }
    if (line.exportCalibration) {
        const ExportOutcome exported =
            ExportCalibration(*line.exportCalibration, line.force, CMapCache());
        std::fprintf(exported.ok ? stdout : stderr, "%s%s\n", exported.ok ? "" : "ostrel: ",
                     exported.message.c_str());
        return exported.ok ? 0 : 1;
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
    QApplication::setApplicationName(QStringLiteral("Ostrel"));
    COstrelApp app;
    if (!app.InitInstance(QFile::decodeName(line.mapFile.c_str())))
        return 1;
    ArrangeStartWindows(*app.m_pMainWnd, line);
    return qtApp.exec();
}
