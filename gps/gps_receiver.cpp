#include "gps/gps_receiver.h"

#include "gps/settings.h"

CGpsReceiver::CGpsReceiver() {
    // A port that cannot be opened is silent here: the program runs without
    // a receiver until Properties opens one, or until a serial device of that
    // name turns up (a receiver plugged in after the start), which the poll
    // tick looks for once a second.
    if (!OpenPort(g_strPortName, g_nBaudRate) &&
        ParseSourceName(g_strPortName).kind == SourceKind::Serial &&
        !SerialDevicePath(g_strPortName).empty()) {
        m_portName = g_strPortName;
        m_portLost = true;
    }
    m_nThinWidth = 1;
    m_nThickWidth = 3;
    m_penThick = CPen{3, RGB(255, 255, 255)};
    m_penThin = CPen{m_nThinWidth, RGB(0, 0, 0)};
}

CGpsReceiver::~CGpsReceiver() {
    m_pSource.reset();
    g_hComm = kCommNull;
}

bool CGpsReceiver::OpenPort(const std::string& name, int baudRate) {
    m_portLost = false;
    m_retryDelay = std::chrono::seconds(0);
    m_strStatus.clear();
    const bool opened = OpenDevice(name, baudRate);
    m_portName = opened ? name : std::string();
    m_portBaud = baudRate;
    return opened;
}

bool CGpsReceiver::NoticeLostPort() {
    if (!m_pSource || !m_pSource->Gone())
        return false;
    // Closed at once: a USB adapter gets its old device name back only
    // when nobody holds the old one.
    m_strFailure = m_pSource->Failure();
    m_pSource.reset();
    g_hComm = m_bNetwork ? kCommNull : kCommInvalid;
    m_portLost = !m_portName.empty();
    return true;
}

bool CGpsReceiver::ReopenLostPort() {
    if (!m_portLost || !OpenDevice(m_portName, m_portBaud))
        return false;
    m_portLost = false;
    return true;
}

void CGpsReceiver::ReleasePort() {
    // One that is lost is not looked for meanwhile either.
    if (m_bNetwork || (!m_pSource && !m_portLost))
        return;
    m_pSource.reset();
    g_hComm = kCommNull;
    m_portLost = true;
    m_nextReopen = std::chrono::steady_clock::time_point::max(); // no looking meanwhile
}

void CGpsReceiver::TakeBackPort() {
    if (!m_portLost || m_nextReopen != std::chrono::steady_clock::time_point::max())
        return;
    // One that cannot be had back now is looked for once a second.
    m_nextReopen = std::chrono::steady_clock::now();
    (void)ReopenLostPort();
}

bool CGpsReceiver::OpenDevice(const std::string& name, int baudRate) {
    m_pSource.reset();
    const SourceAddress address = ParseSourceName(name);
    m_bNetwork = address.kind != SourceKind::Serial && address.kind != SourceKind::Invalid;
    if (m_bNetwork) {
        g_hComm = kCommNull;
        m_pSource = OpenNetworkSource(address);
        m_lastData = std::chrono::steady_clock::now();
        m_flowingSince = {};
        return true;
    }
    g_hComm = address.kind == SourceKind::Serial ? SerialOpen(name) : kCommInvalid;
    if (!CommIsOpen(g_hComm)) {
        g_hComm = kCommInvalid;
        return false;
    }
    // A device that refuses some of these settings (an odd rate, a
    // pseudo-terminal's modem lines) still counts as opened.
    tcgetattr(g_hComm, &m_dcb);
    SerialSetLine(m_dcb, baudRate);
    m_timeouts.readIntervalMs = 10;
    tcsetattr(g_hComm, TCSANOW, &m_dcb);
    // Whatever arrived before now is stale. The driver's queue sizes cannot
    // be requested here; its own buffers are larger than one read.
    tcflush(g_hComm, TCIOFLUSH);
    m_pSource = std::make_unique<CSerialSource>(m_timeouts.readIntervalMs);
    return true;
}

std::string CGpsReceiver::ReadPort() {
    m_strWork = ReadSource(1000);
    return m_strWork;
}

std::string CGpsReceiver::ReadSource(size_t limit) {
    return m_pSource ? m_pSource->Read(limit) : std::string();
}

std::string CGpsReceiver::ExtractSentence(const std::string& prefix, const std::string& text) {
    m_strWork.clear();
    const size_t start = text.find(prefix);
    if (start == std::string::npos)
        return m_strWork;
    const size_t lineFeed = text.find('\n', start);
    if (lineFeed == std::string::npos)
        return m_strWork;
    m_strWork.assign(text, start, lineFeed - start);
    return m_strWork;
}

void CGpsReceiver::SplitFields(const std::string& text, const std::string& separators,
                               std::vector<std::string>& fields) {
    fields.clear();
    size_t pos = 0;
    while (true) {
        pos = text.find_first_not_of(separators, pos);
        if (pos == std::string::npos)
            return;
        size_t end = text.find_first_of(separators, pos);
        if (end == std::string::npos)
            end = text.size();
        fields.emplace_back(text, pos, end - pos);
        pos = end;
    }
}

bool CGpsReceiver::ParseSentence(std::string sentence) {
    return ParseNmeaSentence(m_fix, sentence);
}
