#pragma once

#include "picture/map_cache.h"

#include <string>

struct ExportOutcome {
    bool ok = false;
    std::string message; // what was written, or why nothing was
    std::string refused; // the file not replaced for want of `force`, if that was why
};

// Writes the calibration of the map picture `mapPath` (its line in the
// store in the working directory, else one from a file beside it) as a
// two-point .map file and a world file beside the picture, each read back
// to the same calibration. A file that an export did not write (as
// remembered in `cache`'s folder) is replaced only with `force`.
[[nodiscard]] ExportOutcome ExportCalibration(const std::string& mapPath, bool force,
                                              const CMapCache& cache);
