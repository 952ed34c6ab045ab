#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

class CGpsReceiver;
struct CGpsFix;

// The sentence types a poll tick takes, in the order it parses them.
enum class NmeaType { Rmc, Gga, Vtg };

// Told of each sentence type's cut before that sentence is parsed, with the
// sentence as cut out (its carriage return kept) or empty text when the
// chunk held no complete sentence of the type.
using SentenceCutHandler = std::function<void(NmeaType type, const std::string& sentence)>;

// The most one tick reads [byte]: a flood cannot hold the tick for long.
inline constexpr size_t kMaxBacklog = 64 * 1024;

// The newest complete sentence of `type` ("RMC", ...) in `chunk`, cut as
// ExtractSentence cuts: the last "$GP" one, or when the chunk has none, the
// one of another GNSS talker (kOtherGnssTalkers) that begins latest. Empty
// when there is none.
std::string NewestSentence(std::string_view type, std::string_view chunk);

// For RMC, GGA and VTG in this order: the newest complete sentence of the
// type in `chunk` (NewestSentence), told to `onCut`, then parsed into `fix`
// (ParseNmeaSentence) when it is not empty. True when an RMC was accepted.
bool ParseNewestSentences(CGpsFix& fix, std::string_view chunk,
                          const SentenceCutHandler& onCut = {});

// The sentence handling of one poll tick on a chunk of received bytes:
// ParseNewestSentences into gps.m_fix. An empty chunk does nothing.
void HandlePolledChunk(CGpsReceiver& gps, const std::string& chunk,
                       const SentenceCutHandler& onCut = {});

// Everything that waited at the source when called, joined, at most
// kMaxBacklog: for a serial port, reads of up to 1000 bytes until at least
// the bytes that waited are taken (the zero bytes it drops included). A
// receiver faster than one read a tick is so never left behind.
std::string ReadBacklog(CGpsReceiver& gps);

// What a poll tick saw happen to the port.
enum class PortChange { None, Gone, Back };

struct PollResult {
    std::string chunk; // what was read
    PortChange change = PortChange::None;
    // A network source's state when it changed this tick, else empty:
    // "NAME: connecting", "NAME: no data", "NAME: receiving" or
    // "NAME: WHY; retrying in N s".
    std::string status;
};

// Data that came within this long counts as "receiving"; a source silent
// for longer has "no data".
inline constexpr std::chrono::seconds kReceivingWindow{2};

// One poll tick of the main frame and the monitor: reads the backlog and
// handles it (HandlePolledChunk). When the open port has vanished (a USB
// receiver unplugged, a connection lost) it is closed and the same name is
// opened again later (CGpsReceiver::ReopenLostPort): a serial port once a
// second, a network source after NextRetryDelay.
PollResult PollTick(CGpsReceiver& gps, const SentenceCutHandler& onCut = {});
