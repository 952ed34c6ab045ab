#include "app/dia_properties.h"

#include "app/properties_input.h"
#include "gps/settings.h"
#include "platform/message_box.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

QComboBox* makeListCombo(QWidget* parent, const char* name, const QStringList& entries) {
    auto* combo = new QComboBox(parent);
    combo->setObjectName(QLatin1String(name));
    combo->setEditable(true);
    combo->addItems(entries);
    // The list stays as given, and what is typed stays as typed: no entry is
    // added on Enter and nothing is completed from the list.
    combo->setInsertPolicy(QComboBox::NoInsert);
    combo->setCompleter(nullptr);
    return combo;
}

// Shows `text` in an editable combo box: the entry it selects, or the text
// itself when it selects none, so that an OK without change keeps the setting.
void showInCombo(QComboBox* combo, const QString& text) {
    QStringList entries;
    for (int i = 0; i < combo->count(); ++i)
        entries << combo->itemText(i);
    const int index = FindStringPrefix(entries, text, 0);
    combo->setCurrentIndex(index);
    if (index < 0)
        combo->setEditText(text);
}

} // namespace

int FindStringPrefix(const QStringList& entries, const QString& text, int start) {
    const int count = int(entries.size());
    if (text.isEmpty() || count == 0)
        return -1;
    for (int step = 1; step <= count; ++step) {
        const int index = ((start + step) % count + count) % count;
        if (entries[index].startsWith(text, Qt::CaseInsensitive))
            return index;
    }
    return -1;
}

CDia_Properties::CDia_Properties(QWidget* parent) : CDialog(parent) {
    setWindowTitle(QStringLiteral("Properties"));

    m_comboPort = makeListCombo(this, "IDC_PORT_NAME", {"COM1", "COM2", "COM3", "COM4", "COM5"});
    m_comboBaud = makeListCombo(this, "IDC_BAUD_RATE",
                                {"110", "300", "1200", "2400", "4800", "9600", "19200", "38400",
                                 "57600", "115200", "230400", "460800", "921600"});
    m_editUpdate = new QLineEdit(this);
    m_editUpdate->setObjectName(QStringLiteral("IDC_UPDATE_TIME"));
    m_editUpdate->setAlignment(Qt::AlignCenter);
    m_checkStatusLine = new QCheckBox(QStringLiteral("Show GPS Data at Status Line"), this);
    m_checkStatusLine->setObjectName(QStringLiteral("IDC_SHOW_STATUS"));

    const ButtonRow buttons = CreateOkCancelRow();

    // The widths follow the dialog's design: 48 dialog units, about 12 average characters.
    const int fieldWidth = fontMetrics().averageCharWidth() * 12;
    m_comboBaud->setFixedWidth(fieldWidth);
    m_editUpdate->setFixedWidth(fieldWidth);
    // The port name is a device path, and the one by id (the same in whichever
    // socket the receiver is plugged) runs to some 85 characters: room for it
    // whole, counted in capital Xs, which are wider than most path characters.
    m_comboPort->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    m_comboPort->setMinimumContentsLength(66);

    auto* portGroup = new QGroupBox(QStringLiteral("Com Port"), this);
    auto* portGrid = new QGridLayout(portGroup);
    portGrid->addWidget(new QLabel(QStringLiteral("Name:"), portGroup), 0, 0);
    portGrid->addWidget(m_comboPort, 0, 1);
    portGrid->addWidget(new QLabel(QStringLiteral("Bits per sec:"), portGroup), 1, 0);
    portGrid->addWidget(m_comboBaud, 1, 1);

    auto* mapGroup = new QGroupBox(QStringLiteral("Map"), this);
    auto* mapColumn = new QVBoxLayout(mapGroup);
    mapColumn->addWidget(new QLabel(QStringLiteral("Update (seconds):"), mapGroup), 0,
                         Qt::AlignHCenter);
    mapColumn->addWidget(m_editUpdate, 0, Qt::AlignHCenter);
    mapColumn->addStretch();

    auto* outer = new QGroupBox(this);
    auto* outerGrid = new QGridLayout(outer);
    outerGrid->addWidget(portGroup, 0, 0);
    outerGrid->addWidget(mapGroup, 0, 1);
    // As wide as its text, not as the (wide) row.
    outerGrid->addWidget(m_checkStatusLine, 1, 0, 1, 2, Qt::AlignLeft);

    auto* column = new QVBoxLayout(this);
    column->addWidget(outer);
    column->addLayout(buttons.layout);
    column->setSizeConstraint(QLayout::SetFixedSize);

    setTabOrder(m_comboPort, m_comboBaud);
    setTabOrder(m_comboBaud, m_editUpdate);
    setTabOrder(m_editUpdate, m_checkStatusLine);
    setTabOrder(m_checkStatusLine, buttons.ok);
    setTabOrder(buttons.ok, buttons.cancel);
}

void CDia_Properties::OnInitDialog() {
    showInCombo(m_comboPort, QFile::decodeName(QByteArray::fromStdString(g_strPortName)));
    m_strText = std::to_string(g_nBaudRate);
    showInCombo(m_comboBaud, QString::fromStdString(m_strText));
    m_strText = FormatUpdateSeconds(m_nShowUpdateMs != 0 ? m_nShowUpdateMs : g_nUpdateMs);
    m_editUpdate->setText(QString::fromStdString(m_strText));
    m_checkStatusLine->setChecked(g_bShowAtStatusLine != 0);
    m_comboPort->setFocus();
}

void CDia_Properties::OnOK() {
    PropertiesInputTexts texts;
    // The port name is a device path: it goes to the system in the file name encoding.
    texts.portName = QFile::encodeName(m_comboPort->currentText()).toStdString();
    texts.baudRate = bytesOf(m_comboBaud->currentText());
    texts.updateTime = bytesOf(m_editUpdate->text());
    texts.showAtStatusLine = m_checkStatusLine->isChecked();
    const std::string message = ApplyPropertiesInput(texts);
    if (!message.empty()) {
        ShowMessageBox(this, message);
        return;
    }
    accept();
}
