#include "gps/monitor.h"

#include "gps/nmea_recording.h"

#include "gps/gps_receiver.h"
#include "gps/poll_tick.h"
#include "gps/settings.h"

#include <cerrno>
#include <csignal>
#include <ctime>

namespace {

void AppendJsonString(std::string& out, const std::string& value) {
    static const char kHex[] = "0123456789abcdef";
    out += '"';
    for (const char c : value) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte == '"' || byte == '\\') {
            out += '\\';
            out += c;
        } else if (byte >= 0x20 && byte < 0x7F) {
            out += c;
        } else {
            out += "\\u00";
            out += kHex[byte >> 4];
            out += kHex[byte & 0xF];
        }
    }
    out += '"';
}

timespec Now() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return now;
}

long long MsBetween(const timespec& from, const timespec& to) {
    return (to.tv_sec - from.tv_sec) * 1000LL + (to.tv_nsec - from.tv_nsec) / 1000000;
}

// Waits `ms` [ms] for one of `stopSignals` (blocked by the caller, so none
// can slip in between two waits); true when one came.
bool WaitForStop(const sigset_t& stopSignals, int ms) {
    const timespec start = Now();
    while (true) {
        const long long left = ms - MsBetween(start, Now());
        if (left <= 0)
            return false;
        const timespec wait{time_t(left / 1000), long(left % 1000) * 1000000};
        if (sigtimedwait(&stopSignals, nullptr, &wait) >= 0)
            return true;
        if (errno != EINTR && errno != EAGAIN)
            return false;
    }
}

} // namespace

std::string FixToJson(const CGpsFix& fix) {
    const std::pair<const char*, const std::string*> fields[] = {
        {"m_strDate", &fix.m_strDate},
        {"m_strTime", &fix.m_strTime},
        {"m_strGgaTime", &fix.m_strGgaTime},
        {"m_strLatitude", &fix.m_strLatitude},
        {"m_strNorthSouth", &fix.m_strNorthSouth},
        {"m_strLongitude", &fix.m_strLongitude},
        {"m_strEastWest", &fix.m_strEastWest},
        {"m_strSpeedKnots", &fix.m_strSpeedKnots},
        {"m_strSpeedKmh", &fix.m_strSpeedKmh},
        {"m_strCourse", &fix.m_strCourse},
        {"m_strMagnetic", &fix.m_strMagnetic},
        {"m_strMagneticEW", &fix.m_strMagneticEW},
        {"m_strAltitude", &fix.m_strAltitude},
        {"m_strGeoidSeparation", &fix.m_strGeoidSeparation},
    };
    std::string json = "{";
    for (const auto& [name, value] : fields) {
        if (json.size() > 1)
            json += ',';
        json += '"';
        json += name;
        json += "\":";
        AppendJsonString(json, *value);
    }
    json += '}';
    return json;
}

int RunMonitor(int ticks, int intervalMs, std::FILE* out, std::FILE* err,
               const std::string& recordPath,
               const std::function<std::string(const CGpsFix&)>& moreFields) {
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    sigset_t previous;
    sigprocmask(SIG_BLOCK, &stopSignals, &previous);

    int status = 0;
    {
        CGpsReceiver gps;
        if (!gps.m_pSource) {
            std::fprintf(err, "%s\n", PortOpenFailureMessage(g_strPortName, g_nBaudRate).c_str());
            // A device that may yet be plugged in is looked for (PollTick).
            if (gps.m_portLost)
                std::fprintf(err, "ostrel: looking for the receiver on \"%s\" every second\n",
                             gps.m_portName.c_str());
            else
                status = 1;
        }
        CNmeaRecording recording;
        if (status == 0 && !recordPath.empty()) {
            if (const std::string message = recording.Open(recordPath); !message.empty()) {
                std::fprintf(err, "%s\n", message.c_str());
                status = 1;
            }
        }
        for (int tick = 0; status == 0 && (ticks < 0 || tick < ticks); ++tick) {
            if (WaitForStop(stopSignals, intervalMs))
                break;
            const PollResult poll = PollTick(gps);
            if (gps.m_bNetwork) {
                if (!poll.status.empty())
                    std::fprintf(err, "ostrel: %s\n", poll.status.c_str());
            } else if (poll.change == PortChange::Gone)
                std::fprintf(
                    err, "ostrel: the receiver on \"%s\" is gone; looking for it every second\n",
                    gps.m_portName.c_str());
            else if (poll.change == PortChange::Back)
                std::fprintf(err, "ostrel: the receiver on \"%s\" is back\n",
                             gps.m_portName.c_str());
            if (recording.IsOpen())
                if (const std::string message = recording.Write(poll.chunk); !message.empty())
                    std::fprintf(err, "%s\n", message.c_str());
            std::fflush(err);
            if (!poll.chunk.empty()) {
                std::string line = FixToJson(gps.m_fix);
                if (moreFields)
                    line.insert(line.size() - 1, moreFields(gps.m_fix));
                line += '\n';
                std::fwrite(line.data(), 1, line.size(), out);
                std::fflush(out);
            }
        }
    }

    // A second Ctrl+C may be pending; take it here rather than let it kill
    // the process once the signals are unblocked.
    const timespec none{};
    while (sigtimedwait(&stopSignals, nullptr, &none) >= 0) {
    }
    sigprocmask(SIG_SETMASK, &previous, nullptr);
    return status;
}
