#pragma once

#include <chrono>
#include <cstddef>
#include <memory>
#include <string>

// Where the receiver's bytes come from, as its port name says: a serial
// device ("/dev/ttyUSB0", "COM1"), gpsd ("gpsd://HOST[:PORT][/DEVICE]"),
// a TCP server ("tcp://HOST:PORT") or UDP datagrams ("udp://[ADDRESS]:PORT").
enum class SourceKind { Serial, Gpsd, Tcp, Udp, Invalid };

struct SourceAddress {
    SourceKind kind = SourceKind::Serial;
    std::string host;   // the server; for UDP the local address to listen on, empty for all
    int port = 0;       // [TCP/UDP port]
    std::string device; // gpsd: the one device to relay, empty for all
};

inline constexpr int kGpsdPort = 2947;
inline constexpr int kNmeaUdpPort = 10110; // the port NMEA over UDP uses by convention

// Reads a port name. A name with "://" in it that is not one of the three
// network forms is Invalid; any other name is a serial port, as it always was.
SourceAddress ParseSourceName(const std::string& name);

// A connection that stays silent this long is taken for lost: a half-open one
// is never noticed otherwise.
inline constexpr std::chrono::seconds kSilenceLimit{5};

// One source of bytes for the poll tick. A network source is one connection
// (or one bound socket): once it has gone, a new one is made.
class CByteSource {
public:
    virtual ~CByteSource() = default;
    // Everything received since the previous call, zero bytes dropped, at
    // most about `limit` bytes [byte]; empty when nothing came.
    virtual std::string Read(size_t limit) = 0;
    // True once the source has gone: hung up, closed or refused by the other
    // end, failed, or silent for kSilenceLimit while connected. Asked after
    // a Read that gave nothing.
    virtual bool Gone() = 0;
    // The connection is still being made.
    virtual bool Connecting() const { return false; }
    // Why it went, in a few words ("Connection refused"); empty when not known.
    virtual std::string Failure() const { return {}; }
};

// The serial port open in g_hComm, read as the poll tick reads it; closing
// it (the destructor) leaves g_hComm null.
class CSerialSource : public CByteSource {
public:
    explicit CSerialSource(int readIntervalMs) : m_readIntervalMs(readIntervalMs) {}
    ~CSerialSource() override;
    CSerialSource(const CSerialSource&) = delete;
    CSerialSource& operator=(const CSerialSource&) = delete;

    // Reads again and again until at least the bytes that waited when called
    // are taken from the port (the zero bytes it drops included), in reads of
    // at most 1000 bytes, each ending at a pause of the read interval.
    std::string Read(size_t limit) override;
    bool Gone() override;

private:
    int m_readIntervalMs; // [ms] a read ends when no byte comes for this long
};

// The line that asks gpsd to relay the NMEA of all its devices, or only of
// `device` when one is named.
std::string GpsdWatchRequest(const std::string& device);

// A new gpsd, TCP or UDP source for `address`; it connects (or binds) on its
// own, without ever waiting. One that cannot even start is Gone at once.
std::unique_ptr<CByteSource> OpenNetworkSource(const SourceAddress& address);

// [s] How long to wait before the next try after a network source went or
// could not be made, given the previous wait (0 s before any): 1 s, doubling
// up to 30 s, and 1 s again after a connection that gave a minute of good data.
std::chrono::seconds NextRetryDelay(std::chrono::seconds previous, bool hadGoodMinute);
