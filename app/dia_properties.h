#pragma once

#include "platform/dialog.h"

#include <QStringList>
#include <cstdint>
#include <string>

class QCheckBox;
class QComboBox;
class QLineEdit;

// The Properties dialog: serial port name and bit rate, the update period of
// the document windows and the status-line echo. OK stores into the settings
// of gps/settings.h; Cancel stores nothing.
class CDia_Properties : public CDialog {
    Q_OBJECT
public:
    // DoModal() answers IDOK after OK has accepted the input.
    explicit CDia_Properties(QWidget* parent = nullptr);

    std::string m_strText;       // scratch text while reading and formatting
    int32_t m_nShowUpdateMs = 0; // [ms] period to show; 0 shows g_nUpdateMs

    QComboBox* m_comboPort;
    QComboBox* m_comboBaud;
    QLineEdit* m_editUpdate;
    QCheckBox* m_checkStatusLine;

private:
    // Every opening shows the settings as they now stand.
    void OnInitDialog() override;
    void OnOK() override;
};

// The list entry that a combo box selects for `text`: the first entry that
// begins with it, case ignored, searching from the entry after `start` and
// wrapping round. -1 when none does; an empty text selects nothing.
int FindStringPrefix(const QStringList& entries, const QString& text, int start);
