#include "map/dia_calibration.h"

#include "map/calibration_input.h"
#include "platform/message_box.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

QLineEdit* makeEdit(QWidget* parent, const char* name, int width) {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(QLatin1String(name));
    edit->setAlignment(Qt::AlignCenter);
    edit->setFixedWidth(width);
    return edit;
}

QComboBox* makeHemisphere(QWidget* parent, const char* name, const QStringList& entries) {
    auto* combo = new QComboBox(parent);
    combo->setObjectName(QLatin1String(name));
    combo->addItems(entries);
    return combo;
}

} // namespace

CDia_Calibration::CDia_Calibration(QWidget* parent) : CDialog(parent) {
    setWindowTitle(QStringLiteral("Calibration"));

    // 32 dialog units: about 8 average characters.
    const int editWidth = fontMetrics().averageCharWidth() * 8;
    m_editLonGrads = makeEdit(this, "IDC_LON_GRADS", editWidth);
    m_editLonMins = makeEdit(this, "IDC_LON_MINS", editWidth);
    m_comboLonHemi = makeHemisphere(this, "IDC_LON_HEMI", {"E", "W"});
    m_editLatGrads = makeEdit(this, "IDC_LAT_GRADS", editWidth);
    m_editLatMins = makeEdit(this, "IDC_LAT_MINS", editWidth);
    m_comboLatHemi = makeHemisphere(this, "IDC_LAT_HEMI", {"N", "S"});

    const ButtonRow buttons = CreateOkCancelRow();
    buttons.cancel->setFocusPolicy(Qt::ClickFocus);

    auto* group = new QGroupBox(this);
    auto* grid = new QGridLayout(group);
    grid->addWidget(new QLabel(QStringLiteral("grads"), group), 0, 1, Qt::AlignHCenter);
    grid->addWidget(new QLabel(QStringLiteral("mins"), group), 0, 2, Qt::AlignHCenter);
    grid->addWidget(new QLabel(QStringLiteral("Longitude:"), group), 1, 0);
    grid->addWidget(m_editLonGrads, 1, 1);
    grid->addWidget(m_editLonMins, 1, 2);
    grid->addWidget(m_comboLonHemi, 1, 3);
    grid->addWidget(new QLabel(QStringLiteral("Latitude:"), group), 2, 0);
    grid->addWidget(m_editLatGrads, 2, 1);
    grid->addWidget(m_editLatMins, 2, 2);
    grid->addWidget(m_comboLatHemi, 2, 3);
    grid->setColumnStretch(4, 1);
    grid->setRowMinimumHeight(3, fontMetrics().height() / 2);
    grid->addWidget(
        new QLabel(QStringLiteral("Input a coordinates for the point you have clicked on the Map"),
                   group),
        4, 0, 1, 5);
    grid->addWidget(
        new QLabel(QStringLiteral("Leave a \"mins\" field empty, if \"grads\" have fractions part"),
                   group),
        5, 0, 1, 5);

    auto* column = new QVBoxLayout(this);
    column->addWidget(group);
    column->addLayout(buttons.layout);
    column->setSizeConstraint(QLayout::SetFixedSize);

    // Row by row: longitude, then latitude, then OK.
    setTabOrder(m_editLonGrads, m_editLonMins);
    setTabOrder(m_editLonMins, m_comboLonHemi);
    setTabOrder(m_comboLonHemi, m_editLatGrads);
    setTabOrder(m_editLatGrads, m_editLatMins);
    setTabOrder(m_editLatMins, m_comboLatHemi);
    setTabOrder(m_comboLatHemi, buttons.ok);
}

void CDia_Calibration::OnInitDialog() {
    for (QLineEdit* edit : {m_editLonGrads, m_editLonMins, m_editLatGrads, m_editLatMins})
        edit->clear();
    m_comboLonHemi->setCurrentIndex(m_comboLonHemi->findText(QStringLiteral("E")));
    m_comboLatHemi->setCurrentIndex(m_comboLatHemi->findText(QStringLiteral("N")));
    m_editLonGrads->setFocus();
}

void CDia_Calibration::OnOK() {
    CalibrationInputTexts texts;
    texts.lonGrads = bytesOf(m_editLonGrads->text());
    texts.lonMins = bytesOf(m_editLonMins->text());
    texts.lonHemi = bytesOf(m_comboLonHemi->currentText());
    texts.latGrads = bytesOf(m_editLatGrads->text());
    texts.latMins = bytesOf(m_editLatMins->text());
    texts.latHemi = bytesOf(m_comboLatHemi->currentText());
    const std::string message = ApplyCalibrationInput(texts);
    if (!message.empty()) {
        ShowMessageBox(this, message);
        return;
    }
    accept();
}
