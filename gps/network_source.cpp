#include "gps/byte_source.h"

#include "platform/net_socket.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// A TCP server that sends NMEA, or gpsd relaying its devices' NMEA between
// lines of its own JSON.
class CStreamSource : public CByteSource {
public:
    explicit CStreamSource(const SourceAddress& address)
        : m_gpsd(address.kind == SourceKind::Gpsd), m_device(address.device) {
        m_addresses = ResolveAddress(address.host, address.port, false, m_failure);
        ConnectNext();
        // A connection on this machine is made at once: gpsd gets its
        // request now, not a tick later.
        (void)FinishConnect();
    }

    std::string Read(size_t limit) override {
        std::string bytes;
        if (m_gone || (m_connecting && !FinishConnect()))
            return bytes;
        m_raw.clear();
        const ssize_t n = NetReadStream(m_fd.get(), m_raw, limit);
        if (n == 0)
            Fail("closed by the other end");
        else if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK)
            Fail(std::strerror(errno));
        if (n <= 0)
            return bytes;
        m_lastData = Clock::now();
        if (!m_gpsd) {
            bytes.swap(m_raw);
        } else {
            // gpsd's own lines are JSON objects. They are dropped as they
            // pass, so that no line, however long, is ever held back.
            bytes.reserve(m_raw.size());
            for (const char c : m_raw) {
                if (m_atLineStart)
                    m_inJson = c == '{';
                m_atLineStart = c == '\n';
                if (!m_inJson)
                    bytes += c;
            }
        }
        std::erase(bytes, '\0');
        return bytes;
    }

    bool Gone() override {
        if (!m_gone && !m_connecting && Clock::now() - m_lastData >= kSilenceLimit)
            Fail("no data for 5 s");
        return m_gone;
    }

    bool Connecting() const override { return m_connecting; }
    std::string Failure() const override { return m_failure; }

private:
    void Fail(const std::string& why) {
        m_failure = why;
        m_gone = true;
        m_connecting = false;
        m_fd.reset();
    }

    // Starts a connection to the next address that takes one; gone when
    // none is left.
    void ConnectNext() {
        for (; m_next < m_addresses.size(); ++m_next) {
            m_fd = NetStartConnect(m_addresses[m_next]);
            if (m_fd) {
                m_connecting = true;
                m_connectStart = Clock::now();
                return;
            }
            m_failure = std::strerror(errno);
        }
        Fail(m_failure);
    }

    // True once connected; tries the next address after a refusal.
    bool FinishConnect() {
        while (m_connecting) {
            int error = 0;
            switch (NetConnectResult(m_fd.get(), error)) {
            case ConnectResult::InProgress:
                // A server that never answers counts as silent.
                if (Clock::now() - m_connectStart >= kSilenceLimit)
                    Fail("no answer for 5 s");
                return false;
            case ConnectResult::Failed:
                m_failure = std::strerror(error);
                ++m_next;
                ConnectNext();
                break;
            case ConnectResult::Connected:
                m_connecting = false;
                m_lastData = Clock::now();
                if (m_gpsd && !NetWriteAll(m_fd.get(), GpsdWatchRequest(m_device)))
                    Fail(std::strerror(errno));
                break;
            }
        }
        return !m_gone;
    }

    bool m_gpsd;
    std::string m_device;
    std::vector<NetAddress> m_addresses;
    size_t m_next = 0; // the address being tried
    UniqueFd m_fd;
    bool m_connecting = false;
    bool m_gone = false;
    std::string m_failure;
    Clock::time_point m_connectStart, m_lastData;
    std::string m_raw;         // what one read brought, reused
    bool m_atLineStart = true; // gpsd: the next byte begins a line
    bool m_inJson = false;     // gpsd: within one of its own lines
};

// NMEA datagrams, unicast or broadcast.
class CDatagramSource : public CByteSource {
public:
    explicit CDatagramSource(const SourceAddress& address) : m_buffer(65536, '\0') {
        const std::vector<NetAddress> addresses =
            ResolveAddress(address.host, address.port, true, m_failure);
        for (const NetAddress& at : addresses) {
            m_fd = NetBindDatagram(at);
            if (m_fd)
                return;
            m_failure = std::strerror(errno);
        }
        m_gone = true;
    }

    std::string Read(size_t limit) override {
        std::string bytes;
        while (!m_gone && bytes.size() < limit) {
            const ssize_t n = recv(m_fd.get(), m_buffer.data(), m_buffer.size(), 0);
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0) {
                if (errno != EAGAIN && errno != EWOULDBLOCK) {
                    m_failure = std::strerror(errno);
                    m_gone = true;
                }
                break;
            }
            bytes.append(m_buffer, 0, size_t(n));
            // Each datagram is whole: its last sentence ends with it.
            if (n > 0 && bytes.back() != '\n')
                bytes += '\n';
        }
        std::erase(bytes, '\0');
        return bytes;
    }

    bool Gone() override { return m_gone; }
    std::string Failure() const override { return m_failure; }

private:
    std::string m_buffer; // [byte] room for the largest datagram
    UniqueFd m_fd;
    bool m_gone = false;
    std::string m_failure;
};

} // namespace

std::string GpsdWatchRequest(const std::string& device) {
    std::string request = R"(?WATCH={"enable":true,"nmea":true)";
    if (!device.empty()) {
        request += R"(,"device":")";
        for (const char c : device) {
            if (c == '"' || c == '\\')
                request += '\\';
            if (static_cast<unsigned char>(c) >= 0x20)
                request += c;
        }
        request += '"';
    }
    return request + "}\n";
}

std::unique_ptr<CByteSource> OpenNetworkSource(const SourceAddress& address) {
    if (address.kind == SourceKind::Udp)
        return std::make_unique<CDatagramSource>(address);
    return std::make_unique<CStreamSource>(address);
}
