#pragma once

#include "gps/byte_source.h"

#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The bit rates tried for a receiver, in this order [bit/s].
inline constexpr int kProbeRates[] = {4800, 9600, 38400, 115200, 19200, 57600};

// What listening to one device found.
struct ProbeResult {
    std::string device;  // the name as given or found
    std::string port;    // the name to use: its by-id link, else `device`
    int baudRate = 0;    // [bit/s] the rate it speaks at; 0: no receiver
    std::string failure; // why not, in words a user can act on
    std::string row;     // one line for the user: the device and what it sends
};

// gpsd on this machine, at its usual port.
inline constexpr const char* kLocalGpsd = "gpsd://localhost";

// Opens `device` as the program does (exclusive, lock honoured), tries
// kProbeRates for up to 2 s each until two sentences with correct checksums
// arrive, listens a little longer to describe them, and closes it. A device
// in use by the gpsd at `gpsd` is listened to through it instead: its port
// is then "gpsd://HOST[:PORT]/DEVICE" and its rate 0. A gpsd name
// ("gpsd://localhost") is itself listened to for 3 s.
ProbeResult ProbeDevice(const std::string& device, const std::string& gpsd = kLocalGpsd);

// "HOST" or "HOST:PORT" of a gpsd address, without its port when it is the usual one.
std::string HostPort(const SourceAddress& address);

// A receiver was found: at a bit rate, or through gpsd.
bool FoundReceiver(const ProbeResult& result);

// What is tried when no device is named: every serial candidate
// (SerialCandidates), then gpsd on this machine.
std::vector<std::string> ProbeCandidates();

// `ostrel --probe [DEVICE...]`: probes the devices given, or every
// candidate (ProbeCandidates), prints one row each and the command line
// that uses the first receiver found. 0 when one was found, 1 otherwise.
// A device in use is asked for at the first gpsd among `devices`, else at
// the local one.
// `tabSeparated` (`--probe-tsv`) prints ProbeResultLine() for each device
// instead and nothing else, for a program to read.
int RunProbe(const std::vector<std::string>& devices, std::FILE* out, bool tabSeparated = false);

// A result as one line without its newline: device, port, bit rate,
// failure and row, separated by tabs; a backslash, tab or newline within a
// field is written as \\, \t or \n.
std::string ProbeResultLine(const ProbeResult& result);
// Reads such a line back. False, `result` unspecified, for any other line.
[[nodiscard]] bool ReadProbeResultLine(std::string_view line, ProbeResult& result);

// The first receiver among `devices` (ProbeCandidates when empty), or none.
std::optional<ProbeResult> FindReceiver(const std::vector<std::string>& devices);
