#include "platform/timer_table.h"

#include <QObject>
#include <algorithm>

namespace {
constexpr uint32_t kMinTimerPeriod = 10; // [ms]
}

void CTimerTable::Set(uintptr_t id, uint32_t periodMs) {
    Kill(id);
    m_timers[id] =
        m_pOwner->startTimer(int(std::clamp<uint32_t>(periodMs, kMinTimerPeriod, INT32_MAX)));
}

bool CTimerTable::Kill(uintptr_t id) {
    const auto it = m_timers.find(id);
    if (it == m_timers.end())
        return false;
    m_pOwner->killTimer(it->second);
    m_timers.erase(it);
    return true;
}

std::optional<uintptr_t> CTimerTable::Find(int qtTimerId) const {
    for (const auto& [id, qtId] : m_timers) {
        if (qtId == qtTimerId)
            return id;
    }
    return std::nullopt;
}
