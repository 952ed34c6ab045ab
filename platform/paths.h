#pragma once

#include <string>

// Paths as the system spells them: bytes, '/' between the parts.

// The last part of `path`, the file's own name.
std::string BaseName(const std::string& path);

// `path` without the extension of its file name, and that extension without
// its dot (empty when the name has none).
struct PathParts {
    std::string stem;
    std::string ext;
};
PathParts SplitExtension(const std::string& path);

// `text` with the letters A-Z as a-z; every other byte, those of UTF-8
// letters included, as it is.
std::string AsciiLower(std::string text);
