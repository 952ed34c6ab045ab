#pragma once

#include <QString>
#include <string>

// A text of our own that names files: its bytes are decoded as the system
// spells file names (QFile::decodeName, UTF-8 here), where the program's
// designed texts are Latin-1, so that "Zürich.png" shows as it is named.
struct PathText {
    std::string bytes;
};
QString DisplayText(const PathText& text);
