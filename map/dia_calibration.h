#pragma once

#include "platform/dialog.h"

class QComboBox;
class QLineEdit;

// The calibration point dialog: the longitude and latitude of a point the
// user right-clicked on a map, as decimal degrees or as degrees and minutes.
// OK stores them in g_nCalibLonSec and g_nCalibLatSec [arc-s].
class CDia_Calibration : public CDialog {
    Q_OBJECT
public:
    // DoModal() answers IDOK after both coordinates were accepted and stored.
    explicit CDia_Calibration(QWidget* parent = nullptr);

    QLineEdit* m_editLonMins;
    QLineEdit* m_editLonGrads;
    QLineEdit* m_editLatMins;
    QLineEdit* m_editLatGrads;
    QComboBox* m_comboLonHemi;
    QComboBox* m_comboLatHemi;

private:
    // Every opening starts from empty fields, east and north.
    void OnInitDialog() override;
    void OnOK() override;
};
