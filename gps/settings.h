#pragma once

#include <cstdint>
#include <string>

// Run-time settings. They start from these defaults at every program start
// and are changed only by the Properties dialog; nothing ever saves them.
extern std::string g_strPortName;   // device name of the receiver's port
extern int32_t g_nBaudRate;         // [bit/s]
extern int32_t g_nUpdateMs;         // [ms] period of each document window's update timer
extern uint8_t g_bShowAtStatusLine; // 0 or 1: echo "$GPRMC" on the status line

// What is shown when the port cannot be opened with these settings.
std::string PortOpenFailureMessage(const std::string& portName, int32_t baudRate);

// The kind of window that the next initialised view becomes.
extern int32_t g_nDocMode;

enum : int32_t {
    DOCMODE_WORLDMAP = 0,
    DOCMODE_MAP = 1,
    DOCMODE_GPSDATA = 2,
};
