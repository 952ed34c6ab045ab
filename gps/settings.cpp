#include "gps/settings.h"

std::string g_strPortName = "COM1";
int32_t g_nBaudRate = 4800;
int32_t g_nUpdateMs = 1000;
uint8_t g_bShowAtStatusLine = 1;

int32_t g_nDocMode = DOCMODE_WORLDMAP;
