#include "gps/poll_tick.h"

#include "gps/gps_receiver.h"

void HandlePolledChunk(CGpsReceiver& gps, const std::string& chunk,
                       const SentenceCutHandler& onCut) {
    if (chunk.empty())
        return;
    static const struct {
        NmeaType type;
        const char* prefix;
    } kOrder[] = {{NmeaType::Rmc, "$GPRMC"}, {NmeaType::Gga, "$GPGGA"}, {NmeaType::Vtg, "$GPVTG"}};
    for (const auto& step : kOrder) {
        const std::string sentence = gps.ExtractSentence(step.prefix, chunk);
        if (onCut)
            onCut(step.type, sentence);
        if (!sentence.empty())
            gps.ParseSentence(sentence);
    }
}
