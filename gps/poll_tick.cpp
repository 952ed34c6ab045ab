#include "gps/poll_tick.h"

#include "gps/gps_receiver.h"
#include "gps/nmea_parser.h"

namespace {

// The first complete sentence of `type` ("RMC", ...): the "$GP" one when
// the chunk has it, otherwise the earliest from another GNSS talker.
std::string CutSentence(CGpsReceiver& gps, const std::string& chunk, const std::string& type) {
    std::string sentence = gps.ExtractSentence("$GP" + type, chunk);
    if (!sentence.empty())
        return sentence;
    // Only the earliest occurrence can be complete if any is: a line feed
    // after a later one also follows the earlier.
    std::string earliestPrefix;
    size_t earliest = std::string::npos;
    for (const char* talker : kOtherGnssTalkers) {
        const std::string prefix = std::string("$") + talker + type;
        const size_t at = chunk.find(prefix);
        if (at < earliest) {
            earliest = at;
            earliestPrefix = prefix;
        }
    }
    if (earliest == std::string::npos)
        return sentence;
    return gps.ExtractSentence(earliestPrefix, chunk);
}

} // namespace

void HandlePolledChunk(CGpsReceiver& gps, const std::string& chunk,
                       const SentenceCutHandler& onCut) {
    if (chunk.empty())
        return;
    static const struct {
        NmeaType type;
        const char* name;
    } kOrder[] = {{NmeaType::Rmc, "RMC"}, {NmeaType::Gga, "GGA"}, {NmeaType::Vtg, "VTG"}};
    for (const auto& step : kOrder) {
        const std::string sentence = CutSentence(gps, chunk, step.name);
        if (onCut)
            onCut(step.type, sentence);
        if (!sentence.empty())
            gps.ParseSentence(sentence);
    }
}
