#pragma once

#include <cstddef>
#include <string>
#include <sys/types.h>
#include <termios.h>
#include <vector>

// The serial link on POSIX terminals. The receiver keeps the one port of the
// program in g_hComm and drives it through these calls; nothing here writes
// to the device.

// g_hComm is a file descriptor while the port is open, otherwise one of:
inline constexpr int kCommNull = -1;    // never opened, or closed with the receiver
inline constexpr int kCommInvalid = -2; // the last open failed
extern int g_hComm;

inline bool CommIsOpen(int handle) {
    return handle >= 0;
}

// The read time-outs given to the port at open.
struct CommTimeouts {
    int readIntervalMs = 0; // [ms] a read ends when no byte comes for this long
};

// The device a port name stands for: a name beginning with "/" is itself,
// "COMn" (n >= 1) is /dev/ttyS(n-1); anything else names no device (empty).
std::string SerialDevicePath(const std::string& name);

// Opens the device for our exclusive use without making it the controlling
// terminal; a descriptor, or -1 when it does not exist, is not a character
// device or is in use by another program.
[[nodiscard]] int SerialOpen(const std::string& name);

// Closes a descriptor from SerialOpen and gives up the exclusive use.
void SerialClose(int fd);

// Puts raw 8N1 with RTS/CTS handshake at `baudRate` [bit/s] into `settings`,
// keeping the rest. A rate the terminal layer has no code for leaves the
// speed as it was.
void SerialSetLine(termios& settings, int baudRate);

// Bytes waiting in the input queue, or -1 when that cannot be asked
// (no port, device gone).
[[nodiscard]] int SerialBytesWaiting(int fd);

// The terminal layer's input queue holds at most this many bytes [byte];
// when it is full, more may wait behind it in the driver.
inline constexpr int kSerialQueueFull = 4095;

// True when the device has gone: hung up (a USB adapter unplugged, the other
// end of a pseudo-terminal closed) or answering with I/O errors.
[[nodiscard]] bool SerialHungUp(int fd);

// Reads up to `size` bytes into `buffer`, dropping zero bytes, until `size`
// bytes (zeros included) have arrived or no byte comes for `intervalMs` [ms].
// The count kept, or -1 on a failed read. Ends early when the device hangs up.
// `bytesTaken`, when given, gets the count taken from the device, zeros included.
[[nodiscard]] ssize_t SerialRead(int fd, char* buffer, size_t size, int intervalMs,
                                 size_t* bytesTaken = nullptr);

// Serial devices worth trying for a receiver, as device paths: where every
// /dev/serial/by-id link points, /dev/ttyUSB*, /dev/ttyACM*, and the
// /dev/ttyS* that have a UART behind them.
std::vector<std::string> SerialCandidates();

// The /dev/serial/by-id link that stands for `device` (a stable name across
// sockets), or empty.
std::string SerialByIdLink(const std::string& device);

// The USB device behind a serial device, as sysfs tells it.
struct SerialUsbInfo {
    std::string id;      // "vendor:product" in hex, empty when not USB
    std::string product; // its product name, if it gives one
};
SerialUsbInfo SerialUsbDevice(const std::string& device);
