#pragma once

#include "platform/dialog.h"

// The About box: program icon, name and version, copyright and contact.
class CDia_About : public CDialog {
    Q_OBJECT
public:
    // DoModal() answers IDOK for OK and Enter, IDCANCEL for Escape; the
    // caller ignores it.
    explicit CDia_About(QWidget* parent = nullptr);
};
