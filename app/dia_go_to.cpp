#include "app/dia_go_to.h"

#include "map/calibration_input.h"
#include "platform/message_box.h"
#include "track/geodesy.h"

#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QVBoxLayout>

CDia_GoTo::CDia_GoTo(std::vector<GpxWaypoint> waypoints, std::optional<LonLat> position,
                     QWidget* parent)
    : CDialog(parent), m_waypoints(std::move(waypoints)) {
    setWindowTitle(QStringLiteral("Go To"));
    m_listWaypoints = new QListWidget(this);
    m_listWaypoints->setObjectName(QStringLiteral("IDC_GOTO_WAYPOINTS"));
    m_listWaypoints->setMinimumWidth(fontMetrics().averageCharWidth() * 56);
    for (const GpxWaypoint& w : m_waypoints) {
        QString row = QString::fromStdString(w.name.empty() ? "(no name)" : w.name);
        if (position) {
            const DistanceBearing db = DistanceAndBearing(*position, w.position);
            row += QStringLiteral("   %1, %2\u00B0")
                       .arg(QString::fromStdString(FormatNavDistance(db.metres)))
                       .arg(int(db.bearing + 0.5) % 360, 3, 10, QLatin1Char('0'));
        }
        m_listWaypoints->addItem(row);
    }
    connect(m_listWaypoints, &QListWidget::itemDoubleClicked, this, [this] { OnOK(); });
    auto edit = [this](const char* name) {
        auto* e = new QLineEdit(this);
        e->setObjectName(QString::fromLatin1(name));
        return e;
    };
    auto combo = [this](const char* name, const char* a, const char* b) {
        auto* c = new QComboBox(this);
        c->setObjectName(QString::fromLatin1(name));
        c->addItems({QString::fromLatin1(a), QString::fromLatin1(b)});
        return c;
    };
    m_editLonGrads = edit("IDC_GOTO_LON_GRADS");
    m_editLonMins = edit("IDC_GOTO_LON_MINS");
    m_comboLonHemi = combo("IDC_GOTO_LON_HEMI", "E", "W");
    m_editLatGrads = edit("IDC_GOTO_LAT_GRADS");
    m_editLatMins = edit("IDC_GOTO_LAT_MINS");
    m_comboLatHemi = combo("IDC_GOTO_LAT_HEMI", "N", "S");

    auto* grid = new QGridLayout;
    grid->addWidget(new QLabel(QStringLiteral("Or a position:"), this), 0, 0, 1, 4);
    grid->addWidget(new QLabel(QStringLiteral("Longitude"), this), 1, 0);
    grid->addWidget(m_editLonGrads, 1, 1);
    grid->addWidget(m_editLonMins, 1, 2);
    grid->addWidget(m_comboLonHemi, 1, 3);
    grid->addWidget(new QLabel(QStringLiteral("Latitude"), this), 2, 0);
    grid->addWidget(m_editLatGrads, 2, 1);
    grid->addWidget(m_editLatMins, 2, 2);
    grid->addWidget(m_comboLatHemi, 2, 3);
    grid->addWidget(new QLabel(QStringLiteral("grads"), this), 3, 1);
    grid->addWidget(new QLabel(QStringLiteral("mins"), this), 3, 2);

    auto* column = new QVBoxLayout(this);
    column->addWidget(new QLabel(QStringLiteral("Waypoints of the open layers:"), this));
    column->addWidget(m_listWaypoints);
    column->addLayout(grid);
    column->addLayout(CreateOkCancelRow().layout);
}

void CDia_GoTo::OnOK() {
    // A typed position wins over the list.
    const bool typed = !m_editLonGrads->text().isEmpty() || !m_editLatGrads->text().isEmpty() ||
                       !m_editLonMins->text().isEmpty() || !m_editLatMins->text().isEmpty();
    if (typed) {
        // The calibration dialog's rules, without touching the values it keeps.
        const int32_t keptLon = g_nCalibLonSec, keptLat = g_nCalibLatSec;
        const std::string problem = ApplyCalibrationInput(
            {m_editLonGrads->text().toStdString(), m_editLonMins->text().toStdString(),
             m_comboLonHemi->currentText().toStdString(), m_editLatGrads->text().toStdString(),
             m_editLatMins->text().toStdString(), m_comboLatHemi->currentText().toStdString()});
        const LonLat at{g_nCalibLonSec / 3600.0, g_nCalibLatSec / 3600.0};
        g_nCalibLonSec = keptLon;
        g_nCalibLatSec = keptLat;
        if (!problem.empty()) {
            ShowMessageBox(this, problem);
            return;
        }
        const QString name =
            QStringLiteral("%1 %2%3 %4 %5%6")
                .arg(m_editLonGrads->text(), m_editLonMins->text(), m_comboLonHemi->currentText(),
                     m_editLatGrads->text(), m_editLatMins->text(), m_comboLatHemi->currentText());
        m_target = {name.simplified().toStdString(), at};
        CDialog::OnOK();
        return;
    }
    const int row = m_listWaypoints->currentRow();
    if (row < 0 || size_t(row) >= m_waypoints.size())
        return;
    const GpxWaypoint& w = m_waypoints[size_t(row)];
    m_target = {w.name, w.position};
    CDialog::OnOK();
}
