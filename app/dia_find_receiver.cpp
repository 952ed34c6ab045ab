#include "app/dia_find_receiver.h"

#include "gps/probe.h"
#include "gps/settings.h"

#include <QFile>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>
#include <csignal>
#include <string_view>
#include <sys/prctl.h>
#include <unistd.h>
#include <utility>

CDia_FindReceiver::CDia_FindReceiver(QString program, QStringList devices, QWidget* parent)
    : CDialog(parent), m_strProgram(std::move(program)), m_devices(std::move(devices)) {
    setWindowTitle(QStringLiteral("Find Receiver"));
    m_labelStatus = new QLabel(this);
    m_labelStatus->setObjectName(QStringLiteral("IDC_PROBE_STATUS"));
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
    StopProbe();
}

void CDia_FindReceiver::done(int result) {
    StopProbe();
    CDialog::done(result);
}

void CDia_FindReceiver::StopProbe() {
    if (!m_pProcess)
        return;
    // Its end must not start the next device's probe.
    m_pProcess->disconnect(this);
    m_pProcess->kill();
    m_pProcess->waitForFinished(1000); // [ms]; reaps it
    delete std::exchange(m_pProcess, nullptr);
}

void CDia_FindReceiver::OnInitDialog() {
    if (m_devices.isEmpty())
        for (const std::string& device : ProbeCandidates())
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
    auto* process = new QProcess(this);
    m_pProcess = process;
    // Only the result line is read; what the probe complains of goes to our stderr.
    process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    // Should this program be killed, the probe goes with it instead of holding
    // the port for the rest of its 12 s. Both calls are async-signal-safe.
    process->setChildProcessModifier([parent = getpid()] {
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (getppid() != parent) // ended before the line above
            _exit(1);
    });
    connect(process, &QProcess::finished, this, [this] { OnProbeFinished(); });
    connect(process, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            OnProbeFailedToStart();
    });
    process->start(m_strProgram,
                   {QStringLiteral("--probe"), QStringLiteral("--probe-tsv"), device});
}

void CDia_FindReceiver::OnProbeFailedToStart() {
    QProcess* process = std::exchange(m_pProcess, nullptr);
    // No other device can be tried either: the program is the same.
    m_labelStatus->setText(QStringLiteral("The search stopped: %1 cannot be started (%2).")
                               .arg(m_strProgram, process->errorString()));
    process->disconnect(this);
    process->deleteLater();
}

void CDia_FindReceiver::OnProbeFinished() {
    QProcess* process = std::exchange(m_pProcess, nullptr);
    const QByteArray line = process->readAllStandardOutput();
    process->deleteLater();
    // One complete line for the one device; anything else is a probe that
    // went wrong (crashed, killed).
    ProbeResult result;
    if (!line.endsWith('\n') ||
        !ReadProbeResultLine(std::string_view(line.constData(), size_t(line.size() - 1)), result)) {
        result = {};
        result.row = QFile::encodeName(m_devices[m_nNext - 1]).toStdString() +
                     "  the probe ended without a result.";
    }
    Found row;
    if (FoundReceiver(result))
        row = {result.port, result.baudRate > 0 ? result.baudRate : int(g_nBaudRate)};
    auto* item = new QListWidgetItem(QFile::decodeName(result.row.c_str()));
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
