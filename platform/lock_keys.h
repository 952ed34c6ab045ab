#pragma once

#include <optional>

// The state of the three lock keys, as the keyboard's indicators show it.
struct LockKeys {
    bool caps = false;
    bool num = false;
    bool scroll = false;
};

// Empty where the windowing system does not tell (only X11 does here).
std::optional<LockKeys> ReadLockKeys();
