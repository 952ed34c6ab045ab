#pragma once

#include "platform/dialog.h"

#include <QString>
#include <QStringList>
#include <string>
#include <vector>

class QLabel;
class QListWidget;
class QProcess;
class QProgressBar;
class QPushButton;

// Find Receiver: each serial device, then gpsd on this machine, is probed in
// turn by `ostrel --probe --probe-tsv DEVICE` in a process of its own, so that the window stays
// responsive and Cancel stops at once. Each device's row is listed as it comes; a row that found a
// receiver can be chosen, and OK gives its port and rate. The probe ends with the dialog, and with
// this program however it ends, so that it never holds a port after them.
class CDia_FindReceiver : public CDialog {
    Q_OBJECT

public:
    // `program` is this program's file; `devices` the ones to try, every
    // serial device and gpsd (ProbeCandidates) when empty. A row found
    // through gpsd gives the bit rate of the settings.
    CDia_FindReceiver(QString program, QStringList devices, QWidget* parent = nullptr);
    ~CDia_FindReceiver() override;

    // What OK chose.
    std::string m_strPort;
    int m_nBaudRate = 0; // [bit/s]

    QListWidget* m_listRows;
    QProgressBar* m_progress;

    // OK, Cancel and closing end the probe at once.
    void done(int result) override;

protected:
    void OnInitDialog() override;
    void OnOK() override;

private:
    struct Found {
        std::string port; // empty: no receiver on this row
        int baudRate = 0;
    };
    void ProbeNext();
    void OnProbeFinished();
    void OnProbeFailedToStart();
    // Kills the probe running, if any, and waits for its end.
    void StopProbe();
    void UpdateOk();
    // The selected row when it found a receiver, else -1.
    int ChosenRow() const;

    QString m_strProgram;
    QStringList m_devices;
    QLabel* m_labelStatus; // what the search is doing, or why it stopped
    QPushButton* m_buttonOk = nullptr;
    QProcess* m_pProcess = nullptr;
    int m_nNext = 0;
    std::vector<Found> m_found; // one per row of m_listRows
};
