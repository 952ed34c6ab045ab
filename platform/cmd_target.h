#pragma once

#include <span>

// What a command's user-interface element (toolbar button, menu item) should
// look like; filled by the target that handles the command.
struct CCmdUI {
    int m_nID = 0;
    bool m_bEnabled = true;
    bool m_bChecked = false;
    bool m_bCheckable = false;       // the handler has a check state to show
    const char* m_pszText = nullptr; // a menu text of the moment; null keeps the item's own
    void Enable(bool on = true) { m_bEnabled = on; }
    void SetText(const char* text) { m_pszText = text; }
    void SetCheck(bool on = true) {
        m_bCheckable = true;
        m_bChecked = on;
    }
};

// One row of a command target's table: the command, its handler, and the
// handler that says how its menu item and button look (none: enabled).
template <class T> struct CommandEntry {
    int id;
    void (T::*handler)();
    void (T::*update)(CCmdUI*) = nullptr;
};

// A window that handles commands. With `ui` null, run the handler of `id`;
// otherwise only say whether there is one and fill in `ui`. False when this
// target has no handler for `id`, so the command goes on to the next target.
class CCmdTarget {
public:
    virtual ~CCmdTarget() = default;
    virtual bool OnCmdMsg(int id, CCmdUI* ui) = 0;

protected:
    // OnCmdMsg over `table`. A command whose update handler disables it is
    // not run: a key press must not do what its greyed menu item cannot.
    template <class T>
    static bool DispatchCommand(T& target, std::span<const CommandEntry<T>> table, int id,
                                CCmdUI* ui) {
        for (const CommandEntry<T>& entry : table) {
            if (entry.id != id)
                continue;
            CCmdUI state;
            state.m_nID = id;
            CCmdUI* shown = ui ? ui : &state;
            if (entry.update)
                (target.*entry.update)(shown);
            if (!ui && state.m_bEnabled)
                (target.*entry.handler)();
            return true;
        }
        return false;
    }
};
