#pragma once

#include "gps/byte_source.h"
#include "gps/gps_fix.h"
#include "gps/nmea_parser.h"
#include "platform/gdi_types.h"
#include "platform/serial_port.h"

#include <chrono>
#include <memory>
#include <string>
#include <vector>

class COstrelView;
struct CMapModel;
class CFont;

// The one GPS receiver: owns the fix, reads its source (the serial port, or
// gpsd or the network when the port name says so), cuts sentences out of
// what arrived and parses them. It never writes to a serial port.
class CGpsReceiver {
public:
    // Opens the port named by the settings; a failure is silent. A serial
    // device that cannot be opened yet is looked for again by the poll tick.
    CGpsReceiver();
    // Closes the port.
    ~CGpsReceiver();
    CGpsReceiver(const CGpsReceiver&) = delete;
    CGpsReceiver& operator=(const CGpsReceiver&) = delete;

    // Closes any open port, then opens `name` at `baudRate` [bit/s]. True
    // when the device could be opened (a rate it refuses still counts). A
    // network name starts its connection and gives true unless it is
    // malformed; the bit rate means nothing to it.
    [[nodiscard]] bool OpenPort(const std::string& name, int baudRate);

    // After the open port vanished (hung up, I/O error: a USB receiver
    // unplugged; a connection closed, refused or silent), closes it and gives
    // true, once; ReopenLostPort may then bring it back.
    bool NoticeLostPort();
    // While a port that vanished is lost: opens the same name at the same
    // rate again; true when it is back (a network source: connecting again).
    bool ReopenLostPort();

    // Lets go of an open serial port for a while, so that another program
    // (Find Receiver's probe) can test it; nothing is read meanwhile.
    // TakeBackPort opens it again, or has the poll tick look for it.
    void ReleasePort();
    void TakeBackPort();

    // The bytes received since the previous call (at most 1000), or empty.
    std::string ReadPort();
    // Everything received since the previous read, at most `limit` bytes.
    std::string ReadSource(size_t limit);

    // The first complete sentence in `text` that begins with `prefix`, up to
    // and without its line feed (a CR before it stays), or empty.
    std::string ExtractSentence(const std::string& prefix, const std::string& text);

    // Cuts `text` into the non-empty runs between separator characters.
    static void SplitFields(const std::string& text, const std::string& separators,
                            std::vector<std::string>& fields);

    // Parses `sentence` into m_fix (ParseNmeaSentence).
    bool ParseSentence(std::string sentence);

    // Drawing into a view; defined with the view and the data panel.
    CPoint DrawPosition(COstrelView* view, const CMapModel& model, int radius);
    void DrawDataPanel(COstrelView* view, CFont* fontSmall, CFont* fontLarge);

    int m_nThinWidth = 1;  // [pixel] width of m_penThin
    int m_nThickWidth = 3; // [pixel] width of m_penThick
    std::string m_strWork;
    CPen m_penThick; // white, width 3: the white ring of the marker
    CPen m_penThin;  // black, width 1: the black rings of the marker
    CGpsFix m_fix;
    termios m_dcb{};         // the line settings read from the port and written back
    CommTimeouts m_timeouts; // the read time-outs given to the port
    // Where the bytes come from; null while nothing is open.
    std::unique_ptr<CByteSource> m_pSource;
    bool m_bNetwork = false; // m_portName names gpsd or a network source

    // What OpenPort opened last (no name after a failed open), kept to open
    // it again once it vanished.
    std::string m_portName;
    int m_portBaud = 0;                                 // [bit/s]
    bool m_portLost = false;                            // it vanished and is not back yet
    std::chrono::steady_clock::time_point m_nextReopen; // no try before this (PollTick)
    // A network source: the wait before the try that m_nextReopen stands
    // for, since when its data flows, when it last came, and the status last
    // told ("receiving", ...).
    std::chrono::seconds m_retryDelay{0};
    std::chrono::steady_clock::time_point m_flowingSince, m_lastData;
    std::string m_strStatus;
    std::string m_strFailure; // why the source went last, in a few words

private:
    bool OpenDevice(const std::string& name, int baudRate);
};
