#pragma once

#include <string>
#include <sys/types.h>

// The folder named by the environment variable `xdgVariable` (such as
// XDG_CACHE_HOME) when it holds an absolute path, else `underHome` in the
// home folder ($HOME, or /tmp when it is unset or empty); `below` appended.
std::string UserFolder(const char* xdgVariable, const std::string& underHome,
                       const std::string& below);

// Makes `path` and every missing folder above it, new ones with `mode`.
// False, with errno set, unless `path` is a folder afterwards.
[[nodiscard]] bool MakeFolders(const std::string& path, mode_t mode);
