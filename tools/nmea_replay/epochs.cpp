#include "tools/nmea_replay/epochs.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>

namespace nmea_replay {
namespace {

constexpr std::int64_t kBitsPerByte = 10;
constexpr std::int64_t kNanosPerSecond = 1'000'000'000;

// The next line of `log` from `pos` with its line end: a line ends at LF, or
// at a run of CRs with an optional LF after it, so CR CR LF is one line end.
std::string_view NextLine(std::string_view log, std::size_t pos) {
    std::size_t end = log.find_first_of("\r\n", pos);
    if (end == std::string_view::npos)
        return log.substr(pos);
    while (end < log.size() && log[end] == '\r')
        ++end;
    if (end < log.size() && log[end] == '\n')
        ++end;
    return log.substr(pos, end - pos);
}

// The type ("RMC", ...) of a talker's sentence line "$ttSSS,...", empty for
// anything else; a 'P' in place of the talker marks a maker's own sentence
// ("$PGRMC").
std::string_view SentenceType(std::string_view line) {
    if (line.size() < 7 || line[0] != '$' || line[1] == 'P' || line[6] != ',')
        return {};
    return line.substr(3, 3);
}

struct EpochSentence {
    std::string_view address; // "GPRMC", "GNGGA", ...
    std::string_view second;  // "hhmmss" of the time field, or empty
};

// "$GPRMC,030129.0,A,..." -> {"GPRMC", "030129"}. False for lines that are
// not RMC or GGA, and for those whose time field holds something else.
bool ParseEpochSentence(std::string_view line, EpochSentence& sentence) {
    const std::string_view type = SentenceType(line);
    if (type != "RMC" && type != "GGA")
        return false;
    std::string_view time = line.substr(7);
    time = time.substr(0, time.find_first_of(",*\r\n"));
    if (time.find_first_not_of("0123456789.") != std::string_view::npos)
        return false;
    sentence = {line.substr(1, 5), time.substr(0, 6)};
    return true;
}

// Field `index` of a sentence line: "$GPRMC,120000,A,..." has "A" at 2.
std::string_view SentenceField(std::string_view line, std::size_t index) {
    line = line.substr(0, line.find_first_of("*\r\n"));
    for (; index > 0; --index) {
        std::size_t comma = line.find(',');
        if (comma == std::string_view::npos)
            return {};
        line.remove_prefix(comma + 1);
    }
    return line.substr(0, line.find(','));
}

bool HoldsFix(std::string_view epoch) {
    for (std::size_t pos = 0; pos < epoch.size();) {
        std::string_view line = NextLine(epoch, pos);
        pos += line.size();
        const std::string_view type = SentenceType(line);
        if (type == "RMC" && SentenceField(line, 2) == "A")
            return true;
        std::string_view quality = SentenceField(line, 6);
        if (type == "GGA" && !quality.empty() && quality != "0")
            return true;
    }
    return false;
}

} // namespace

std::vector<std::string> SplitEpochs(std::string_view log) {
    std::vector<std::string> epochs;
    std::string epoch;
    std::string_view epochSecond;
    std::vector<std::string_view> addresses; // RMC/GGA addresses seen in this epoch
    for (std::size_t pos = 0; pos < log.size();) {
        std::string_view line = NextLine(log, pos);
        pos += line.size();
        if (line.starts_with('#'))
            continue;
        EpochSentence sentence;
        if (ParseEpochSentence(line, sentence)) {
            bool seen =
                std::find(addresses.begin(), addresses.end(), sentence.address) != addresses.end();
            bool newSecond =
                !sentence.second.empty() && !epochSecond.empty() && sentence.second != epochSecond;
            if (seen || newSecond) {
                epochs.push_back(std::move(epoch));
                epoch.clear();
                epochSecond = {};
                addresses.clear();
            }
            if (epochSecond.empty())
                epochSecond = sentence.second;
            addresses.push_back(sentence.address);
        }
        epoch += line;
    }
    if (!epoch.empty())
        epochs.push_back(std::move(epoch));
    return epochs;
}

std::chrono::nanoseconds ByteOffset(std::size_t index, int baud) {
    // Rounded up, so that BytesDue at exactly this offset counts the byte.
    std::int64_t bits = static_cast<std::int64_t>(index) * kBitsPerByte * kNanosPerSecond;
    return std::chrono::nanoseconds((bits + baud - 1) / baud);
}

std::size_t BytesDue(std::chrono::nanoseconds elapsed, int baud, std::size_t size) {
    if (size == 0 || elapsed.count() < 0)
        return 0;
    if (elapsed >= ByteOffset(size - 1, baud))
        return size;
    return static_cast<std::size_t>(elapsed.count() * baud / (kBitsPerByte * kNanosPerSecond)) + 1;
}

std::chrono::nanoseconds EpochPeriod(double speed) {
    return std::chrono::nanoseconds(std::llround(kNanosPerSecond / speed));
}

std::chrono::nanoseconds EpochSpacing(std::chrono::nanoseconds period, std::size_t bytes,
                                      int baud) {
    return std::max(period, ByteOffset(bytes, baud));
}

std::string UartGarble(std::string_view bytes, int sendBaud, int readBaud) {
    // The line level during send bit `bit`: start bit low, data LSB first,
    // stop bit and idle high.
    auto level = [&](std::size_t bit) {
        const std::size_t byte = bit / 10, pos = bit % 10;
        if (byte >= bytes.size() || pos == 9)
            return 1;
        if (pos == 0)
            return 0;
        return (static_cast<unsigned char>(bytes[byte]) >> (pos - 1)) & 1;
    };
    const double ratio = double(sendBaud) / readBaud; // send bits per read bit
    const std::size_t end = bytes.size() * 10;
    std::string out;
    double t = 0; // [send bits] where the reader hunts for a start bit
    while (true) {
        std::size_t bit = std::size_t(std::ceil(t));
        while (bit < end && level(bit) != 0)
            ++bit;
        if (bit >= end)
            return out;
        const double start = double(bit);
        unsigned value = 0;
        for (int i = 0; i < 8; ++i)
            value |= unsigned(level(std::size_t(start + (i + 1.5) * ratio))) << i;
        const bool framed = level(std::size_t(start + 9.5 * ratio)) == 1;
        out += framed ? char(value) : '\0';
        t = start + 9.5 * ratio;
    }
}

double ActualSpeed(const std::vector<std::string>& epochs, double speed, int baud) {
    if (epochs.empty())
        return speed;
    const std::chrono::nanoseconds period = EpochPeriod(speed);
    std::chrono::nanoseconds total{0};
    for (const std::string& epoch : epochs)
        total += EpochSpacing(period, epoch.size(), baud);
    return double(epochs.size()) * kNanosPerSecond / double(total.count());
}

int CarryingBaud(const std::vector<std::string>& epochs, double speed) {
    std::size_t largest = 0;
    for (const std::string& epoch : epochs)
        largest = std::max(largest, epoch.size());
    const std::chrono::nanoseconds period = EpochPeriod(speed);
    for (const int rate : {4800, 9600, 19200, 38400, 57600, 115200, 230400, 460800, 921600, 1500000,
                           3000000, 4000000})
        if (ByteOffset(largest, rate) <= period)
            return rate;
    return 0;
}

std::string SpeedWarning(const std::vector<std::string>& epochs, double speed, int baud) {
    const double actual = ActualSpeed(epochs, speed, baud);
    if (actual >= speed * 0.99)
        return {};
    char text[256];
    const int rate = CarryingBaud(epochs, speed);
    std::snprintf(text, sizeof text,
                  "%d bit/s cannot carry %g epochs a second of this log: it sends about %.2g; %s",
                  baud, speed, actual, rate > 0 ? "" : "no bit rate carries them all");
    std::string warning = text;
    if (rate > 0)
        warning += "--baud " + std::to_string(rate) + " would carry them";
    return warning;
}

std::size_t FirstFixEpoch(const std::vector<std::string>& epochs) {
    for (std::size_t i = 0; i < epochs.size(); ++i)
        if (HoldsFix(epochs[i]))
            return i;
    return 0;
}

} // namespace nmea_replay
