// Figures the kernel keeps for this process, for the memory benchmarks.
#pragma once

#include <fstream>
#include <string>

// Kilobytes of a field of /proc/self/status ("VmRSS", "VmHWM"); -1 when
// there is no such field.
inline long StatusKb(const char* field) {
    std::ifstream in("/proc/self/status");
    std::string key;
    long value = 0;
    while (in >> key) {
        if (key == std::string(field) + ":") {
            in >> value;
            return value;
        }
        in.ignore(1 << 12, '\n');
    }
    return -1;
}
