#include "gps/settings.h"

std::string g_strPortName = "COM1";
int32_t g_nBaudRate = 4800;
int32_t g_nUpdateMs = 1000;
uint8_t g_bShowAtStatusLine = 1;

int32_t g_nDocMode = DOCMODE_WORLDMAP;

std::string PortOpenFailureMessage(const std::string& portName, int32_t baudRate) {
    return "Can not open Com Port \"" + portName + "\" with Baud Rate " + std::to_string(baudRate) +
           ".";
}
