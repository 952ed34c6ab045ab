#pragma once

#include <functional>
#include <string>

class CGpsReceiver;

// The sentence types a poll tick takes, in the order it parses them.
enum class NmeaType { Rmc, Gga, Vtg };

// Told of each sentence type's cut before that sentence is parsed, with the
// sentence as cut out (its carriage return kept) or empty text when the
// chunk held no complete sentence of the type.
using SentenceCutHandler = std::function<void(NmeaType type, const std::string& sentence)>;

// The sentence handling of one poll tick on the chunk that ReadPort gave:
// for RMC, GGA and VTG in this order, cut the first complete sentence of the
// type out of the chunk, tell `onCut`, and parse it into gps.m_fix when it
// is not empty. A "$GP" sentence is taken where the chunk has a complete
// one; otherwise the first complete one of the type from another GNSS
// talker (kOtherGnssTalkers). An empty chunk does nothing.
void HandlePolledChunk(CGpsReceiver& gps, const std::string& chunk,
                       const SentenceCutHandler& onCut = {});
