#include "gps/poll_tick.h"

#include "gps/gps_receiver.h"
#include "gps/nmea_parser.h"
#include "platform/serial_port.h"

#include <chrono>
#include <cstring>

namespace {

// How often a vanished port is looked for again.
constexpr std::chrono::seconds kReopenPeriod{1};

} // namespace

std::string NewestSentence(std::string_view type, std::string_view chunk) {
    // A sentence is complete when a line feed follows its start, so only
    // starts before the last line feed count. One backwards pass over the
    // dollar signs: a flood of other talkers costs no more than a "$GP" one.
    const size_t lastLineFeed = chunk.rfind('\n');
    if (lastLineFeed == std::string_view::npos)
        return {};
    size_t other = std::string::npos; // the newest from another talker
    size_t start = std::string::npos;
    for (size_t at = lastLineFeed; at > 0 && start == std::string::npos;) {
        const void* dollar = memrchr(chunk.data(), '$', at);
        if (dollar == nullptr)
            break;
        at = size_t(static_cast<const char*>(dollar) - chunk.data());
        const std::string_view address = chunk.substr(at + 1, 5);
        if (address.size() < 5 || address.substr(2) != type)
            continue;
        if (address.substr(0, 2) == "GP")
            start = at;
        else if (other == std::string::npos && IsOtherGnssTalker(address.substr(0, 2)))
            other = at;
    }
    if (start == std::string::npos)
        start = other;
    if (start == std::string::npos)
        return {};
    return std::string(chunk.substr(start, chunk.find('\n', start) - start));
}

bool ParseNewestSentences(CGpsFix& fix, std::string_view chunk, const SentenceCutHandler& onCut) {
    static const struct {
        NmeaType type;
        const char* name;
    } kOrder[] = {{NmeaType::Rmc, "RMC"}, {NmeaType::Gga, "GGA"}, {NmeaType::Vtg, "VTG"}};
    bool rmcTaken = false;
    for (const auto& step : kOrder) {
        const std::string sentence = NewestSentence(step.name, chunk);
        if (onCut)
            onCut(step.type, sentence);
        if (!sentence.empty() && ParseNmeaSentence(fix, sentence) && step.type == NmeaType::Rmc)
            rmcTaken = true;
    }
    return rmcTaken;
}

void HandlePolledChunk(CGpsReceiver& gps, const std::string& chunk,
                       const SentenceCutHandler& onCut) {
    if (!chunk.empty())
        (void)ParseNewestSentences(gps.m_fix, chunk, onCut);
}

std::string ReadBacklog(CGpsReceiver& gps) {
    constexpr size_t kReadSize = 1000; // [byte] the most one ReadPort gives
    std::string chunk;
    // Counted as taken from the port, not as kept: a read of nothing but
    // zero bytes keeps nothing, yet what follows them is waiting.
    size_t taken = 0;
    int waiting = SerialBytesWaiting(g_hComm);
    size_t target = waiting > 0 ? size_t(waiting) : 0;
    while (taken < target && taken + kReadSize <= kMaxBacklog) {
        chunk += gps.ReadPort();
        if (gps.m_nPortBytesTaken == 0)
            break;
        taken += gps.m_nPortBytesTaken;
        // A full input queue hides what waits behind it in the driver: look
        // again once it is read.
        if (taken >= target && waiting >= kSerialQueueFull) {
            waiting = SerialBytesWaiting(g_hComm);
            target = taken + size_t(waiting > 0 ? waiting : 0);
        }
    }
    return chunk;
}

PollResult PollTick(CGpsReceiver& gps, const SentenceCutHandler& onCut) {
    PollResult result;
    const auto now = std::chrono::steady_clock::now();
    if (gps.m_portLost) {
        if (now < gps.m_nextReopen)
            return result;
        gps.m_nextReopen = now + kReopenPeriod;
        if (!gps.ReopenLostPort())
            return result;
        result.change = PortChange::Back;
    }
    result.chunk = ReadBacklog(gps);
    if (result.chunk.empty() && gps.NoticeLostPort()) {
        // Back and gone again within one tick is no change at all.
        result.change = result.change == PortChange::Back ? PortChange::None : PortChange::Gone;
        gps.m_nextReopen = now + kReopenPeriod;
        return result;
    }
    HandlePolledChunk(gps, result.chunk, onCut);
    return result;
}
