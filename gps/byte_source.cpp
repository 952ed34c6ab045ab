#include "gps/byte_source.h"

#include "platform/serial_port.h"

#include <algorithm>
#include <string_view>

namespace {

// "HOST", "HOST:PORT", "[IPv6]" or "[IPv6]:PORT" into `address`; a port of
// 1 to 65535, `defaultPort` when left out (0: it may not be).
bool ReadHostPort(std::string_view text, int defaultPort, SourceAddress& address) {
    std::string_view portText;
    if (text.starts_with('[')) {
        const size_t close = text.find(']');
        if (close == std::string_view::npos)
            return false;
        address.host = text.substr(1, close - 1);
        const std::string_view rest = text.substr(close + 1);
        if (!rest.empty() && !rest.starts_with(':'))
            return false;
        portText = rest.empty() ? rest : rest.substr(1);
        if (rest == ":")
            return false;
    } else {
        const size_t colon = text.find(':');
        if (colon != std::string_view::npos && text.find(':', colon + 1) != std::string_view::npos)
            return false; // an IPv6 address needs its brackets
        address.host = text.substr(0, colon);
        if (colon != std::string_view::npos) {
            portText = text.substr(colon + 1);
            if (portText.empty())
                return false;
        }
    }
    if (portText.empty()) {
        address.port = defaultPort;
        return defaultPort > 0;
    }
    if (portText.size() > 5 || portText.find_first_not_of("0123456789") != std::string_view::npos)
        return false;
    address.port = std::stoi(std::string(portText));
    return address.port >= 1 && address.port <= 65535;
}

} // namespace

SourceAddress ParseSourceName(const std::string& name) {
    SourceAddress address;
    const size_t separator = name.find("://");
    if (separator == std::string::npos)
        return address;
    const std::string_view scheme = std::string_view(name).substr(0, separator);
    std::string_view rest = std::string_view(name).substr(separator + 3);
    bool valid = false;
    if (scheme == "gpsd") {
        address.kind = SourceKind::Gpsd;
        // The device is a path: everything from the first slash after the host.
        const size_t hostEnd = rest.starts_with('[') ? rest.find(']') : 0;
        const size_t slash = hostEnd == std::string_view::npos ? hostEnd : rest.find('/', hostEnd);
        if (slash != std::string_view::npos) {
            address.device = rest.substr(slash);
            rest = rest.substr(0, slash);
        }
        valid = ReadHostPort(rest, kGpsdPort, address);
        if (valid && address.host.empty())
            address.host = "localhost";
    } else if (scheme == "tcp") {
        address.kind = SourceKind::Tcp;
        valid = ReadHostPort(rest, 0, address) && !address.host.empty();
    } else if (scheme == "udp") {
        address.kind = SourceKind::Udp;
        valid = ReadHostPort(rest, kNmeaUdpPort, address);
    }
    if (!valid)
        address = {SourceKind::Invalid, {}, 0, {}};
    return address;
}

CSerialSource::~CSerialSource() {
    SerialClose(g_hComm);
    g_hComm = kCommNull;
}

std::string CSerialSource::Read(size_t limit) {
    constexpr size_t kReadSize = 1000; // [byte] one read of the port, as designed
    std::string chunk;
    // Counted as taken from the port, not as kept: a read of nothing but
    // zero bytes keeps nothing, yet what follows them is waiting.
    size_t taken = 0;
    int waiting = SerialBytesWaiting(g_hComm);
    size_t target = waiting > 0 ? size_t(waiting) : 0;
    while (taken < target && taken + kReadSize <= std::max(limit, kReadSize)) {
        char buffer[kReadSize] = {};
        size_t took = 0;
        const ssize_t count = SerialRead(g_hComm, buffer, kReadSize, m_readIntervalMs, &took);
        if (count > 0)
            chunk.append(buffer, size_t(count));
        if (took == 0)
            break;
        taken += took;
        // A full input queue hides what waits behind it in the driver: look
        // again once it is read.
        if (taken >= target && waiting >= kSerialQueueFull) {
            waiting = SerialBytesWaiting(g_hComm);
            target = taken + size_t(waiting > 0 ? waiting : 0);
        }
    }
    return chunk;
}

bool CSerialSource::Gone() {
    return SerialHungUp(g_hComm);
}

std::chrono::seconds NextRetryDelay(std::chrono::seconds previous, bool hadGoodMinute) {
    constexpr std::chrono::seconds kFirst{1}, kLongest{30};
    if (hadGoodMinute || previous < kFirst)
        return kFirst;
    return std::min(previous * 2, kLongest);
}
