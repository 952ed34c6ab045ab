#pragma once

// What a command's user-interface element (toolbar button, menu item) should
// look like; filled by the target that handles the command.
struct CCmdUI {
    int m_nID = 0;
    bool m_bEnabled = true;
    bool m_bChecked = false;
    bool m_bCheckable = false; // the handler has a check state to show
    void Enable(bool on = true) { m_bEnabled = on; }
    void SetCheck(bool on = true) {
        m_bCheckable = true;
        m_bChecked = on;
    }
};

// A window that handles commands. With `ui` null, run the handler of `id`;
// otherwise only say whether there is one and fill in `ui`. False when this
// target has no handler for `id`, so the command goes on to the next target.
class CCmdTarget {
public:
    virtual ~CCmdTarget() = default;
    virtual bool OnCmdMsg(int id, CCmdUI* ui) = 0;
};
