#include "app/command_line.h"
#include "app/identity.h"
#include "app/identity_names.h"
#include "app/main_frame.h"
#include "app/ostrel_app.h"
#include "app/start_windows.h"
#include "gps/monitor.h"
#include "gps/probe.h"
#include "gps/settings.h"
#include "map/calibration_export.h"
#include "map/map_model.h"
#include "map/map_queries.h"
#include "platform/c_numbers.h"
#include "track/geodesy.h"
#include "track/gpx_export.h"
#include "track/track_journal.h"

#include <QApplication>
#include <QFile>
#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    CommandLine line;
    std::string error;
    if (!ParseCommandLine(argc, argv, line, error)) {
        std::fprintf(stderr, "ostrel: %s\n%s", error.c_str(), UsageText().c_str());
        return 2;
    }
    if (line.help) {
        std::fputs(UsageText().c_str(), stdout);
        std::fputs(OptionHelpText().c_str(), stdout);
        return 0;
    }
    const std::string nameAndVersion(kProgramNameAndVersion);
    if (line.version) {
        std::printf("%s\n", nameAndVersion.c_str());
        return 0;
    }
    if (line.exportGpx) {
        const std::string message =
            ExportJournalRange(DefaultJournalFolder(), line.fromDay.value_or(""),
                               line.toDay.value_or(""), *line.exportGpx, nameAndVersion);
        if (!message.empty())
            std::fprintf(stderr, "ostrel: %s\n", message.c_str());
        return message.empty() ? 0 : 1;
    }
    if (line.probe)
        return RunProbe(line.probeDevices, stdout, line.probeTsv);
    if (line.exportCalibration) {
        const ExportOutcome exported = ExportCalibration(*line.exportCalibration, line.force);
        std::fprintf(exported.ok ? stdout : stderr, "%s%s\n",
                     exported.ok ? "" : "ostrel: ", exported.message.c_str());
        return exported.ok ? 0 : 1;
    }
    if (line.mapInfo)
        return PrintMapInfo(*line.mapInfo, stdout, stderr);
    if (line.pixelToPosition)
        return PrintPixelToPosition(*line.pixelToPosition, {line.point->first, line.point->second},
                                    stdout, stderr);
    if (line.positionToPixel)
        return PrintPositionToPixel(*line.positionToPixel, {line.point->first, line.point->second},
                                    stdout, stderr);
    // Before anything opens the port.
    if (line.port)
        g_strPortName = *line.port;
    if (line.baudRate)
        g_nBaudRate = *line.baudRate;
    const bool portAuto = line.port == "auto";
    if (portAuto || line.baudAuto) {
        const std::optional<ProbeResult> found =
            FindReceiver(portAuto ? std::vector<std::string>{} : std::vector{g_strPortName});
        if (!found) {
            std::fprintf(stderr, "ostrel: no receiver found; ostrel --probe says why\n");
            return 1;
        }
        if (portAuto)
            g_strPortName = found->port;
        // Through gpsd there is no bit rate to take.
        if ((line.baudAuto || !line.baudRate) && found->baudRate > 0)
            g_nBaudRate = found->baudRate;
        if (found->baudRate > 0)
            std::fprintf(stderr, "ostrel: the receiver is on %s at %d bit/s\n",
                         g_strPortName.c_str(), int(g_nBaudRate));
        else
            std::fprintf(stderr, "ostrel: the receiver is on %s\n", g_strPortName.c_str());
    }

    // The monitor needs no display, so it runs before Qt is touched.
    if (line.monitor) {
        std::function<std::string(const CGpsFix&)> goTo;
        if (line.goTo)
            goTo = [target = LonLat{line.goTo->first, line.goTo->second}](const CGpsFix& fix) {
                const std::optional<LonLat> position = FixDegrees(fix);
                if (!position)
                    return std::string(",\"goto_distance_m\":null,\"goto_bearing_deg\":null");
                const DistanceBearing way = DistanceAndBearing(*position, target);
                return ",\"goto_distance_m\":" + FormatCReal("%.1f", way.metres) +
                       ",\"goto_bearing_deg\":" + FormatCReal("%.2f", way.bearing);
            };
        return RunMonitor(line.ticks, line.intervalMs, stdout, stderr, line.record.value_or(""),
                          goTo);
    }

    QApplication qtApp(argc, argv);
    ApplyProgramIdentity();
    COstrelApp app;
    if (!app.InitInstance(QFile::decodeName(line.mapFile.c_str())))
        return 1;
    if (line.record) {
        if (const std::string message = app.m_pMainWnd->StartNmeaRecording(*line.record);
            !message.empty()) {
            std::fprintf(stderr, "ostrel: %s\n", message.c_str());
            return 1;
        }
    }
    ArrangeStartWindows(*app.m_pMainWnd, line);
    app.m_pMainWnd->OpenGpxLayers(line.gpxFiles);
    return qtApp.exec();
}
