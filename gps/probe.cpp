#include "gps/probe.h"
#include "gps/nmea_parser.h"

#include "platform/serial_port.h"
#include "platform/unique_fd.h"

#include <cerrno>
#include <charconv>
#include <chrono>
#include <climits>
#include <cstring>
#include <grp.h>
#include <poll.h>
#include <set>
#include <sys/stat.h>
#include <utility>

namespace {

using Clock = std::chrono::steady_clock;

constexpr auto kRateTime = std::chrono::seconds(2);   // per rate tried
constexpr auto kListenTime = std::chrono::seconds(2); // once a rate is found

// What the sentences heard at one rate tell.
struct Heard {
    int valid = 0; // sentences with a correct checksum
    std::set<std::string> talkers;
    std::set<std::string> types;
    bool fix = false;
    std::string epochTime; // time field of the current epoch
    int epochs = 0;
    Clock::time_point firstEpoch, lastEpoch;
};

int HexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

// Takes one received line: from its last "$" to "*HH", the checksum the XOR
// of the bytes between.
void TakeLine(std::string line, Heard& heard, Clock::time_point at) {
    while (!line.empty() && line.back() == '\r')
        line.pop_back();
    const size_t dollar = line.rfind('$');
    if (dollar == std::string::npos || line.size() < dollar + 4 || line[line.size() - 3] != '*')
        return;
    const std::string body = line.substr(dollar + 1, line.size() - dollar - 4);
    unsigned sum = 0;
    for (char c : body)
        sum ^= static_cast<unsigned char>(c);
    const int high = HexDigit(line[line.size() - 2]), low = HexDigit(line.back());
    if (high < 0 || low < 0 || unsigned(high * 16 + low) != sum)
        return;
    ++heard.valid;
    std::vector<std::string_view> fields;
    SplitSentence(body, fields);
    const std::string_view address = fields[0];
    if (address.size() != 5 || address[0] == 'P')
        return;
    const std::string type(address.substr(2));
    heard.talkers.emplace(address.substr(0, 2));
    heard.types.insert(type);
    if (type == "RMC" && fields.size() > 2)
        heard.fix |= fields[2] == "A";
    if (type == "GGA" && fields.size() > 6)
        heard.fix |= !fields[6].empty() && fields[6] != "0";
    if ((type == "RMC" || type == "GGA") && fields.size() > 1 && fields[1] != heard.epochTime) {
        heard.epochTime = fields[1];
        if (heard.epochs++ == 0)
            heard.firstEpoch = at;
        heard.lastEpoch = at;
    }
}

// Listens at the rate set until `enough` sentences or `until`.
void Listen(int fd, Heard& heard, int enough, Clock::time_point until) {
    std::string line;
    while (heard.valid < enough) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now()).count();
        if (left <= 0)
            return;
        pollfd ready{fd, POLLIN, 0};
        if (poll(&ready, 1, int(left)) <= 0)
            continue;
        char buffer[1000];
        const ssize_t n = SerialRead(fd, buffer, sizeof buffer, 10);
        if (n < 0 || (n == 0 && SerialHungUp(fd)))
            return;
        for (ssize_t i = 0; i < n; ++i) {
            // Lines longer than any sentence are noise.
            if (buffer[i] == '\n')
                TakeLine(std::exchange(line, {}), heard, Clock::now());
            else if (line.size() < 200)
                line += buffer[i];
        }
    }
}

std::string Joined(const std::set<std::string>& words) {
    std::string text;
    for (const std::string& word : words)
        text += (text.empty() ? "" : " ") + word;
    return text;
}

std::string OpenFailure(const std::string& device, int error) {
    switch (error) {
    case EACCES:
    case EPERM: {
        struct stat info {};
        const group* owner =
            stat(SerialDevicePath(device).c_str(), &info) == 0 ? getgrgid(info.st_gid) : nullptr;
        const std::string name = owner ? owner->gr_name : "that owns it";
        return "permission denied. The device belongs to group \"" + name +
               "\": add yourself to it (sudo usermod -aG " + name +
               " $USER), then log out and in again.";
    }
    case EBUSY:
    case EWOULDBLOCK:
        return "in use by another program. A GPS service (gpsd) often takes USB receivers; "
               "stop it with \"sudo systemctl stop gpsd.socket gpsd.service\" and try again.";
    case ENOENT:
        return "no such device.";
    case ENODEV:
    case ENOTTY:
        return "not a serial device.";
    default:
        return std::string("cannot be opened: ") + std::strerror(error) + ".";
    }
}

void AppendEscaped(std::string& line, const std::string& field) {
    for (const char c : field) {
        if (c == '\\')
            line += "\\\\";
        else if (c == '\t')
            line += "\\t";
        else if (c == '\n')
            line += "\\n";
        else
            line += c;
    }
}

} // namespace

ProbeResult ProbeDevice(const std::string& device) {
    ProbeResult result;
    result.device = device;
    const std::string byId = SerialByIdLink(SerialDevicePath(device));
    result.port = byId.empty() || byId == device ? device : byId;
    result.row = device;
    if (!byId.empty() && byId != device)
        result.row += "  by-id " + byId.substr(byId.rfind('/') + 1);
    const SerialUsbInfo usb = SerialUsbDevice(SerialDevicePath(device));
    if (!usb.id.empty())
        result.row += "  USB " + usb.id + (usb.product.empty() ? "" : " \"" + usb.product + "\"");

    UniqueFd fd(SerialOpen(device));
    termios settings{};
    if (!fd || tcgetattr(fd.get(), &settings) != 0) {
        result.failure = OpenFailure(device, fd ? ENOTTY : errno);
    } else {
        for (const int rate : kProbeRates) {
            SerialSetLine(settings, rate);
            tcsetattr(fd.get(), TCSANOW, &settings);
            tcflush(fd.get(), TCIFLUSH);
            Heard heard;
            Listen(fd.get(), heard, 2, Clock::now() + kRateTime);
            if (heard.valid < 2)
                continue;
            Listen(fd.get(), heard, INT_MAX, Clock::now() + kListenTime);
            result.baudRate = rate;
            result.row += "  " + std::to_string(rate) + " bit/s  talkers " + Joined(heard.talkers) +
                          "  sentences " + Joined(heard.types);
            const double seconds =
                std::chrono::duration<double>(heard.lastEpoch - heard.firstEpoch).count();
            if (heard.epochs >= 2 && seconds > 0) {
                char rateText[32];
                std::snprintf(rateText, sizeof rateText, "  %.2g epochs/s",
                              (heard.epochs - 1) / seconds);
                result.row += rateText;
            }
            result.row += heard.fix ? "  fix" : "  no fix";
            break;
        }
        if (result.baudRate == 0)
            result.failure = "no valid NMEA sentence at 4800, 9600, 38400, 115200, 19200 or "
                             "57600 bit/s. Check that the receiver is on, connected to this "
                             "port and set to send NMEA.";
    }
    SerialClose(fd.release());
    if (!result.failure.empty())
        result.row += "  " + result.failure;
    return result;
}

int RunProbe(const std::vector<std::string>& devices, std::FILE* out, bool tabSeparated) {
    const std::vector<std::string> names = devices.empty() ? SerialCandidates() : devices;
    if (names.empty() && !tabSeparated)
        std::fprintf(out, "No serial devices found.\n");
    std::optional<ProbeResult> first;
    for (const std::string& name : names) {
        ProbeResult result = ProbeDevice(name);
        std::fprintf(out, "%s\n", (tabSeparated ? ProbeResultLine(result) : result.row).c_str());
        std::fflush(out);
        if (!first && result.baudRate > 0)
            first = std::move(result);
    }
    if (tabSeparated)
        return first ? 0 : 1;
    if (!first) {
        std::fprintf(out, "No receiver found.\n");
        return 1;
    }
    std::fprintf(out, "ostrel --port %s --baud %d\n", first->port.c_str(), first->baudRate);
    return 0;
}

std::string ProbeResultLine(const ProbeResult& result) {
    std::string line;
    for (const std::string& field : {result.device, result.port, std::to_string(result.baudRate),
                                     result.failure, result.row}) {
        AppendEscaped(line, field);
        line += '\t';
    }
    line.pop_back();
    return line;
}

bool ReadProbeResultLine(std::string_view line, ProbeResult& result) {
    std::string fields[5];
    size_t n = 0; // the field being read
    for (size_t i = 0; i < line.size(); ++i) {
        char c = line[i];
        if (c == '\t') {
            if (++n == std::size(fields))
                return false;
            continue;
        }
        if (c == '\n')
            return false;
        if (c == '\\') {
            const char escaped = ++i < line.size() ? line[i] : '\0';
            if (escaped == 't')
                c = '\t';
            else if (escaped == 'n')
                c = '\n';
            else if (escaped != '\\')
                return false;
        }
        fields[n] += c;
    }
    const char* const rateEnd = fields[2].data() + fields[2].size();
    int baudRate = -1;
    const auto [end, error] = std::from_chars(fields[2].data(), rateEnd, baudRate);
    if (n != 4 || error != std::errc{} || end != rateEnd || baudRate < 0)
        return false;
    result = {std::move(fields[0]), std::move(fields[1]), baudRate, std::move(fields[3]),
              std::move(fields[4])};
    return true;
}

std::optional<ProbeResult> FindReceiver(const std::vector<std::string>& devices) {
    for (const std::string& name : devices.empty() ? SerialCandidates() : devices) {
        ProbeResult result = ProbeDevice(name);
        if (result.baudRate > 0)
            return result;
    }
    return std::nullopt;
}
