#pragma once

#include "platform/mdi_child_wnd.h"

// The frame of one document window; it holds one view.
class CChildFrame : public CMDIChildWnd {
    Q_OBJECT

public:
    explicit CChildFrame(CMDIFrameWnd* mainFrame);
};
