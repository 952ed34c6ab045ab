#pragma once

#include <cstdint>
#include <map>
#include <optional>

class QObject;

// Timers by our own identifier on top of a QObject's timers: starting an
// identifier again restarts it, and a timer event maps back to its identifier.
class CTimerTable {
public:
    explicit CTimerTable(QObject* owner) : m_pOwner(owner) {}

    void Set(uintptr_t id, uint32_t periodMs); // [ms], at least 10
    bool Kill(uintptr_t id);                   // false when it was not running
    std::optional<uintptr_t> Find(int qtTimerId) const;

private:
    QObject* m_pOwner;
    std::map<uintptr_t, int> m_timers; // our identifier -> Qt's timer id
};
