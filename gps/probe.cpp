#include "gps/probe.h"
#include "gps/byte_source.h"
#include "gps/nmea_parser.h"

#include "platform/net_socket.h"
#include "platform/serial_port.h"
#include "platform/unique_fd.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <climits>
#include <cstring>
#include <filesystem>
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

template <typename Words> std::string Joined(const Words& words) {
    std::string text;
    for (const std::string& word : words)
        text += (text.empty() ? "" : " ") + word;
    return text;
}

// "  talkers GP  sentences GGA RMC  1 epochs/s  fix": what was heard.
std::string Described(const Heard& heard) {
    std::string text = "  talkers " + Joined(heard.talkers) + "  sentences " + Joined(heard.types);
    const double seconds =
        std::chrono::duration<double>(heard.lastEpoch - heard.firstEpoch).count();
    if (heard.epochs >= 2 && seconds > 0) {
        char rateText[32];
        std::snprintf(rateText, sizeof rateText, "  %.2g epochs/s", (heard.epochs - 1) / seconds);
        text += rateText;
    }
    return text + (heard.fix ? "  fix" : "  no fix");
}

// What gpsd said to a client.
struct GpsdAnswer {
    bool answered = false;            // it greeted us
    std::string release;              // its version
    std::vector<std::string> devices; // the devices it reads, as it names them
    std::string failure;              // why it did not answer
};

// Every value of "key":"value" in a JSON line of gpsd.
void JsonStrings(std::string_view line, std::string_view key, std::vector<std::string>& values) {
    std::string quoted = "\"";
    quoted.append(key).append("\":\"");
    for (size_t at = line.find(quoted); at != std::string_view::npos;
         at = line.find(quoted, at + 1)) {
        const size_t start = at + quoted.size();
        const size_t end = line.find('"', start);
        if (end != std::string_view::npos)
            values.emplace_back(line.substr(start, end - start));
    }
}

// Connects to gpsd at `address` and, with `watch`, asks for its NMEA and
// takes the sentences into `heard` until `enough` of them or `until`;
// without, only asks which devices it reads.
GpsdAnswer ListenToGpsd(const SourceAddress& address, bool watch, Heard& heard, int enough,
                        Clock::time_point until) {
    GpsdAnswer answer;
    UniqueFd fd;
    for (const NetAddress& to : ResolveAddress(address.host, address.port, false, answer.failure)) {
        fd = NetStartConnect(to);
        pollfd writable{fd.get(), POLLOUT, 0};
        int error = fd ? ETIMEDOUT : errno;
        if (fd && poll(&writable, 1, 1000) > 0 &&
            NetConnectResult(fd.get(), error) == ConnectResult::Connected)
            break;
        fd.reset();
        answer.failure = std::strerror(error);
    }
    if (!fd)
        return answer;
    const std::string request = watch ? GpsdWatchRequest(address.device) : "?DEVICES;\n";
    if (!NetWriteAll(fd.get(), request)) {
        answer.failure = std::strerror(errno);
        return answer;
    }
    std::string line;
    bool devicesListed = false;
    while ((watch && heard.valid < enough) || (!watch && !devicesListed)) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now()).count();
        pollfd readable{fd.get(), POLLIN, 0};
        if (left <= 0 || poll(&readable, 1, int(left)) <= 0)
            break;
        std::string bytes;
        if (NetReadStream(fd.get(), bytes, 4096) <= 0)
            break;
        for (const char c : bytes) {
            if (c != '\n') {
                // Lines longer than any gpsd sends are noise.
                if (line.size() < 4096)
                    line += c;
                continue;
            }
            if (line.starts_with('{')) {
                answer.answered = true;
                std::vector<std::string> release;
                JsonStrings(line, "release", release);
                if (!release.empty())
                    answer.release = release.front();
                if (line.find(R"("class":"DEVICES")") != std::string::npos) {
                    JsonStrings(line, "path", answer.devices);
                    devicesListed = true;
                }
            } else {
                TakeLine(line, heard, Clock::now());
            }
            line.clear();
        }
    }
    if (!answer.answered && answer.failure.empty())
        answer.failure = "no greeting";
    return answer;
}

// gpsd reads `device` (by whichever of its names); the name gpsd gives it, or empty.
std::string GpsdNameOf(const GpsdAnswer& answer, const std::string& device) {
    std::error_code ec;
    const std::filesystem::path real = std::filesystem::canonical(device, ec);
    for (const std::string& held : answer.devices) {
        std::error_code heldEc;
        if (held == device || (!ec && std::filesystem::canonical(held, heldEc) == real && !heldEc))
            return held;
    }
    return {};
}

// The gpsd source `name` probed as a receiver; its rate is none.
ProbeResult ProbeGpsd(const std::string& name) {
    ProbeResult result{name, name, 0, {}, name};
    Heard heard;
    // Long enough for a 1 Hz receiver's epochs to be counted.
    const GpsdAnswer answer = ListenToGpsd(ParseSourceName(name), true, heard, INT_MAX,
                                           Clock::now() + kListenTime + std::chrono::seconds(1));
    if (!answer.answered) {
        result.failure = "no gpsd answers (" + answer.failure + ").";
    } else {
        result.row += "  gpsd " + answer.release;
        if (!answer.devices.empty())
            result.row += "  devices " + Joined(answer.devices);
        if (heard.valid >= 2) {
            result.row += Described(heard);
        } else {
            result.failure = "gpsd answers but relays no NMEA sentence. Check that it has a "
                             "receiver and that the receiver sends NMEA.";
        }
    }
    if (!result.failure.empty())
        result.row += "  " + result.failure;
    return result;
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

ProbeResult ProbeDevice(const std::string& device, const std::string& gpsd) {
    if (ParseSourceName(device).kind == SourceKind::Gpsd)
        return ProbeGpsd(device);
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
    const int openError = errno;
    if (!fd && (openError == EBUSY || openError == EWOULDBLOCK)) {
        // gpsd may hold it: then it can be read through gpsd.
        Heard none;
        const std::string path = SerialDevicePath(device);
        SourceAddress address = ParseSourceName(gpsd);
        address.device.clear();
        const GpsdAnswer answer =
            ListenToGpsd(address, false, none, 0, Clock::now() + std::chrono::seconds(2));
        const std::string held = GpsdNameOf(answer, path);
        if (!held.empty()) {
            const ProbeResult viaGpsd = ProbeGpsd("gpsd://" + HostPort(address) + held);
            result.port = viaGpsd.port;
            result.failure = viaGpsd.failure;
            result.row += "  in use by gpsd, which reads it";
            if (viaGpsd.failure.empty())
                result.row += viaGpsd.row.substr(viaGpsd.row.find("  talkers")) +
                              "  read it through gpsd: --port " + viaGpsd.port;
            else
                result.row += ": " + viaGpsd.failure;
            return result;
        }
    }
    if (!fd || tcgetattr(fd.get(), &settings) != 0) {
        result.failure = OpenFailure(device, fd ? ENOTTY : openError);
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
            result.row += "  " + std::to_string(rate) + " bit/s" + Described(heard);
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

std::string HostPort(const SourceAddress& address) {
    const bool v6 = address.host.find(':') != std::string::npos;
    const std::string host = v6 ? "[" + address.host + "]" : address.host;
    return address.port == kGpsdPort ? host : host + ":" + std::to_string(address.port);
}

bool FoundReceiver(const ProbeResult& result) {
    return result.baudRate > 0 ||
           (result.failure.empty() && ParseSourceName(result.port).kind == SourceKind::Gpsd);
}

std::vector<std::string> ProbeCandidates() {
    std::vector<std::string> names = SerialCandidates();
    names.emplace_back(kLocalGpsd);
    return names;
}

int RunProbe(const std::vector<std::string>& devices, std::FILE* out, bool tabSeparated) {
    const std::vector<std::string> names = devices.empty() ? ProbeCandidates() : devices;
    if (names.size() == 1 && devices.empty() && !tabSeparated)
        std::fprintf(out, "No serial devices found.\n");
    // A device in use is asked for at the gpsd named among them, else the local one.
    const auto named = std::find_if(names.begin(), names.end(), [](const std::string& name) {
        return ParseSourceName(name).kind == SourceKind::Gpsd;
    });
    const std::string gpsd = named != names.end() ? *named : std::string(kLocalGpsd);
    std::optional<ProbeResult> first;
    for (const std::string& name : names) {
        ProbeResult result = ProbeDevice(name, gpsd);
        std::fprintf(out, "%s\n", (tabSeparated ? ProbeResultLine(result) : result.row).c_str());
        std::fflush(out);
        if (!first && FoundReceiver(result))
            first = std::move(result);
    }
    if (tabSeparated)
        return first ? 0 : 1;
    if (!first) {
        std::fprintf(out, "No receiver found.\n");
        return 1;
    }
    if (first->baudRate > 0)
        std::fprintf(out, "ostrel --port %s --baud %d\n", first->port.c_str(), first->baudRate);
    else
        std::fprintf(out, "ostrel --port %s\n", first->port.c_str());
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
    for (const std::string& name : devices.empty() ? ProbeCandidates() : devices) {
        ProbeResult result = ProbeDevice(name);
        if (FoundReceiver(result))
            return result;
    }
    return std::nullopt;
}
