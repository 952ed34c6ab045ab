#include "gps/poll_tick.h"

#include "gps/gps_receiver.h"
#include "gps/nmea_parser.h"

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
    return gps.ReadSource(kMaxBacklog);
}

namespace {

using Clock = std::chrono::steady_clock;

// Tells `status` once: empty when it is what was told last.
std::string Told(CGpsReceiver& gps, const std::string& status) {
    if (status == gps.m_strStatus)
        return {};
    gps.m_strStatus = status;
    return gps.m_portName + ": " + status;
}

// A network source that went or could not be made: when to try again.
std::string ScheduleRetry(CGpsReceiver& gps, Clock::time_point now, const std::string& why) {
    const bool goodMinute = gps.m_flowingSince != Clock::time_point{} &&
                            now - gps.m_flowingSince >= std::chrono::minutes(1);
    gps.m_retryDelay = NextRetryDelay(gps.m_retryDelay, goodMinute);
    gps.m_nextReopen = now + gps.m_retryDelay;
    gps.m_flowingSince = {};
    return Told(gps, (why.empty() ? std::string("lost") : why) + "; retrying in " +
                         std::to_string(gps.m_retryDelay.count()) + " s");
}

// What an open network source is doing after this tick's read.
std::string NetworkStatus(CGpsReceiver& gps, Clock::time_point now, bool read) {
    if (gps.m_pSource->Connecting())
        return Told(gps, "connecting");
    if (read) {
        gps.m_lastData = now;
        if (gps.m_flowingSince == Clock::time_point{})
            gps.m_flowingSince = now;
        return Told(gps, "receiving");
    }
    // Right after the connection, or between two bursts, nothing is said yet.
    if (now - gps.m_lastData < kReceivingWindow)
        return {};
    gps.m_flowingSince = {};
    return Told(gps, "no data");
}

} // namespace

PollResult PollTick(CGpsReceiver& gps, const SentenceCutHandler& onCut) {
    PollResult result;
    const auto now = Clock::now();
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
        if (gps.m_bNetwork)
            result.status = ScheduleRetry(gps, now, gps.m_strFailure);
        return result;
    }
    HandlePolledChunk(gps, result.chunk, onCut);
    if (gps.m_bNetwork && gps.m_pSource)
        result.status = NetworkStatus(gps, now, !result.chunk.empty());
    return result;
}
