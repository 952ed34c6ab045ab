#pragma once

#include <chrono>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace nmea_replay {

// Cuts a receiver log into epochs, the bytes a receiver sends in one cycle.
// Lines beginning with '#' are the log's own comments and are dropped; every
// other line keeps its bytes, line end included (CR LF, LF, CR CR LF, ...).
// An RMC or GGA sentence (any talker) starts a new epoch when the epoch so
// far already holds one of its address (a second "$GPRMC": the next cycle,
// also when receivers without a fix leave the time empty or send twice a
// second), or when its time (field 1) lies in another second than the
// epoch's. Times are compared to the second because some receivers stamp
// the sentences of one cycle differently (GGA 014413.08, RMC 014413.76).
// A sentence whose time field is not a time (a garbled line) starts nothing.
std::vector<std::string> SplitEpochs(std::string_view log);

// When byte `index` of a burst is due, counted from the burst's start, at
// `baud` [bit/s] with 10 bits per byte (start, 8 data, stop).
std::chrono::nanoseconds ByteOffset(std::size_t index, int baud);

// How many of the `size` bytes of a burst are due `elapsed` after its start:
// the first goes at once, then one per 10 bits.
std::size_t BytesDue(std::chrono::nanoseconds elapsed, int baud, std::size_t size);

// Time between two epoch starts when replaying `speed` epochs per second.
std::chrono::nanoseconds EpochPeriod(double speed);

// From one epoch's start to the next: one period, or as long as the burst
// of `bytes` at `baud` lasts if that is longer, so that bursts never overlap.
std::chrono::nanoseconds EpochSpacing(std::chrono::nanoseconds period, std::size_t bytes, int baud);

// Epochs a second that a replay of `epochs` at `speed` really sends at `baud`:
// an epoch that takes longer than the period to send delays the next one.
double ActualSpeed(const std::vector<std::string>& epochs, double speed, int baud);

// The lowest common bit rate [bit/s] at which every epoch fits its period at
// `speed`, or 0 when none does.
int CarryingBaud(const std::vector<std::string>& epochs, double speed);

// Says that `baud` cannot carry `speed` epochs a second and gives the rate
// that would, or empty when it can (within 1 %).
std::string SpeedWarning(const std::vector<std::string>& epochs, double speed, int baud);

// What a UART reading at `readBaud` [bit/s] makes of `bytes` sent back to
// back at `sendBaud` (8N1): it starts a frame on a low line, samples each
// bit in its middle, and gives a zero byte for a frame without its stop bit
// (a framing error, as a raw terminal delivers it).
std::string UartGarble(std::string_view bytes, int sendBaud, int readBaud);

// A reader takes a pause of more than 10 ms for the end of a burst. Bytes
// are written up to kSendAhead before they are due, topped up every
// kSendStep, so that the sender being woken late leaves no such pause.
constexpr std::chrono::milliseconds kSendAhead{20};
constexpr std::chrono::milliseconds kSendStep{5};

// The index of the first epoch holding a fix, an RMC with status A or a GGA
// with a quality other than 0; 0 when none does, so the log plays whole.
std::size_t FirstFixEpoch(const std::vector<std::string>& epochs);

} // namespace nmea_replay
