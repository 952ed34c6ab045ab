#pragma once

#include <QDialog>

// The About box: program icon, name and version, copyright and contact.
class CDia_About : public QDialog {
    Q_OBJECT
public:
    explicit CDia_About(QWidget* parent = nullptr);

    // IDOK for OK and Enter, IDCANCEL for Escape; the caller ignores it.
    int DoModal();
};
