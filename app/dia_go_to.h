#pragma once

#include "platform/dialog.h"
#include "track/gpx_data.h"
#include "track/navigation.h"

#include <optional>
#include <vector>

class QComboBox;
class QLineEdit;
class QListWidget;

// Go To: a waypoint of the open layers, listed with its distance and
// bearing from the position, or a longitude and latitude typed as in the
// calibration dialog (degrees in "grads", minutes in "mins", hemispheres).
class CDia_GoTo : public CDialog {
    Q_OBJECT

public:
    CDia_GoTo(std::vector<GpxWaypoint> waypoints, std::optional<LonLat> position,
              QWidget* parent = nullptr);

    // The target chosen at OK.
    NavTarget m_target;
    QListWidget* m_listWaypoints;
    QLineEdit* m_editLonGrads;
    QLineEdit* m_editLonMins;
    QComboBox* m_comboLonHemi;
    QLineEdit* m_editLatGrads;
    QLineEdit* m_editLatMins;
    QComboBox* m_comboLatHemi;

protected:
    void OnOK() override;

private:
    std::vector<GpxWaypoint> m_waypoints;
};
