#include "app/dia_find_receiver.h"

#include "platform/message_box.h"
#include "platform/serial_port.h"

#include <QFile>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>
#include <cstdio>

CDia_FindReceiver::CDia_FindReceiver(QString program, QStringList devices, QWidget* parent)
    : CDialog(parent), m_strProgram(std::move(program)), m_devices(std::move(devices)) {
    setWindowTitle(QStringLiteral("Find Receiver"));
    m_labelStatus = new QLabel(this);
    m_progress = new QProgressBar(this);
    m_progress->setObjectName(QStringLiteral("IDC_PROBE_PROGRESS"));
    m_listRows = new QListWidget(this);
    m_listRows->setObjectName(QStringLiteral("IDC_RECEIVERS"));
    m_listRows->setMinimumWidth(fontMetrics().averageCharWidth() * 80);
    connect(m_listRows, &QListWidget::itemSelectionChanged, this, [this] { UpdateOk(); });

    const ButtonRow row = CreateOkCancelRow();
    m_buttonOk = row.ok;
    auto* column = new QVBoxLayout(this);
    column->addWidget(m_labelStatus);
    column->addWidget(m_progress);
    column->addWidget(m_listRows);
    column->addLayout(row.layout);
}

CDia_FindReceiver::~CDia_FindReceiver() {
    // A probe still running is ended with the dialog.
    if (m_pProcess) {
        m_pProcess->kill();
        m_pProcess->waitForFinished(1000);
    }
}

void CDia_FindReceiver::OnInitDialog() {
    if (m_devices.isEmpty())
        for (const std::string& device : SerialCandidates())
            m_devices << QFile::decodeName(device.c_str());
    m_listRows->clear();
    m_found.clear();
    m_nNext = 0;
    m_progress->setRange(0, std::max<int>(1, int(m_devices.size())));
    m_progress->setValue(0);
    UpdateOk();
    ProbeNext();
}

void CDia_FindReceiver::ProbeNext() {
    if (m_nNext >= m_devices.size()) {
        m_progress->setValue(m_progress->maximum());
        const bool any = std::any_of(m_found.begin(), m_found.end(),
                                     [](const Found& f) { return !f.port.empty(); });
        m_labelStatus->setText(m_devices.isEmpty() ? QStringLiteral("No serial devices found.")
                               : any ? QStringLiteral("Choose a receiver and press OK.")
                                     : QStringLiteral("No receiver found."));
        return;
    }
    const QString device = m_devices[m_nNext++];
    m_labelStatus->setText(QStringLiteral("Trying %1 ...").arg(device));
    m_pProcess = new QProcess(this);
    m_pProcess->setProcessChannelMode(QProcess::MergedChannels);
    connect(m_pProcess, &QProcess::finished, this, [this] { OnProbeFinished(); });
    m_pProcess->start(m_strProgram, {QStringLiteral("--probe"), device});
}

void CDia_FindReceiver::OnProbeFinished() {
    QProcess* process = m_pProcess;
    m_pProcess = nullptr;
    const QStringList lines =
        QString::fromLocal8Bit(process->readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    const bool found = process->exitStatus() == QProcess::NormalExit && process->exitCode() == 0;
    process->deleteLater();
    // The device's row first; with a receiver, the command that uses it last.
    Found row;
    if (found && lines.size() >= 2) {
        char port[4096] = {};
        int rate = 0;
        if (std::sscanf(lines.back().toLocal8Bit().constData(), "ostrel --port %4095s --baud %d",
                        port, &rate) == 2) {
            row.port = port;
            row.baudRate = rate;
        }
    }
    auto* item = new QListWidgetItem(lines.isEmpty() ? m_devices[m_nNext - 1] : lines.front());
    if (row.port.empty())
        item->setFlags(item->flags() & ~Qt::ItemIsSelectable);
    m_listRows->addItem(item);
    m_found.push_back(row);
    if (!row.port.empty() && m_listRows->selectedItems().isEmpty())
        item->setSelected(true);
    m_progress->setValue(m_nNext);
    ProbeNext();
}

int CDia_FindReceiver::ChosenRow() const {
    const QList<QListWidgetItem*> selected = m_listRows->selectedItems();
    const int row = selected.isEmpty() ? -1 : m_listRows->row(selected.front());
    return row >= 0 && size_t(row) < m_found.size() && !m_found[size_t(row)].port.empty() ? row
                                                                                          : -1;
}

void CDia_FindReceiver::UpdateOk() {
    m_buttonOk->setEnabled(ChosenRow() >= 0);
}

void CDia_FindReceiver::OnOK() {
    const int row = ChosenRow();
    if (row < 0)
        return;
    m_strPort = m_found[size_t(row)].port;
    m_nBaudRate = m_found[size_t(row)].baudRate;
    accept();
}
