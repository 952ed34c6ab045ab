#pragma once

#include <string>

struct ExportOutcome {
    bool ok = false;
    std::string message; // what was written, or why nothing was
    std::string refused; // the file not replaced for want of `force`, if that was why
};

// Where the export keeps its record of the files it wrote ("exported.txt"):
// state of the program's, not a cache; $XDG_STATE_HOME/ostrel by default.
struct ExportRecordPlace {
    std::string dir = DefaultDir();
    // Where older versions kept it (the map cache's folder): read once, when
    // there is no record in `dir` yet, so that nothing recorded is lost.
    std::string oldDir = DefaultOldDir();
    static std::string DefaultDir();
    static std::string DefaultOldDir();
};

// Writes the calibration of the map picture `mapPath` (its line in the
// store in the working directory, else one from a file beside it) as a
// two-point .map file and a world file beside the picture, each read back
// to the same calibration. A file that the calibration was read from is
// left as it is. A file that an export did not write (as its record says)
// is replaced only with `force`. Not ok, with the files written, when the
// record cannot be written.
[[nodiscard]] ExportOutcome ExportCalibration(const std::string& mapPath, bool force,
                                              const ExportRecordPlace& record = {});
