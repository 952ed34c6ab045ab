#include "platform/user_folders.h"

#include <cerrno>
#include <cstdlib>
#include <sys/stat.h>

std::string UserFolder(const char* xdgVariable, const std::string& underHome,
                       const std::string& below) {
    const char* xdg = std::getenv(xdgVariable);
    if (xdg && xdg[0] == '/')
        return std::string(xdg) + "/" + below;
    const char* home = std::getenv("HOME");
    return std::string(home && home[0] ? home : "/tmp") + "/" + underHome + "/" + below;
}

bool MakeFolders(const std::string& path, mode_t mode) {
    for (size_t at = 1; at <= path.size(); ++at) {
        if (at < path.size() && path[at] != '/')
            continue;
        const std::string part = path.substr(0, at);
        if (mkdir(part.c_str(), mode) != 0 && errno != EEXIST)
            return false;
    }
    struct stat st {};
    if (stat(path.c_str(), &st) != 0)
        return false;
    if (!S_ISDIR(st.st_mode)) {
        errno = ENOTDIR;
        return false;
    }
    return true;
}
