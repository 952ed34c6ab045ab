#include "app/dia_find_receiver.h"
#include "map/command_ids.h"
#include "platform/serial_port.h"
#include "tests/app/app_fixture.h"
#include "tests/modal_driver.h"

#include <QFile>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <gtest/gtest.h>
#include <pty.h>
#include <string>
#include <unistd.h>

namespace {

// The search must list each device as it is tried, let only a row that
// found a receiver be chosen, and hand back that receiver's port and rate.
// A port read back from the probe's printed command came back cut at a
// space in its name: this one has one.
TEST(FindReceiverDialog, ListsEachDeviceAndGivesTheChosenReceiver) {
    int master = -1, slave = -1;
    char name[256] = {};
    ASSERT_EQ(openpty(&master, &slave, name, nullptr, nullptr), 0);
    const QTemporaryDir dir;
    const QString link = dir.path() + QStringLiteral("/my receiver");
    ASSERT_EQ(symlink(name, QFile::encodeName(link).constData()), 0);
    // A receiver talking on the terminal, once a tenth of a second.
    QTimer talk;
    QObject::connect(&talk, &QTimer::timeout, [master] {
        const char rmc[] =
            "$GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W*6A\r\n";
        (void)!write(master, rmc, sizeof rmc - 1);
    });
    talk.start(100);

    AnswerNextModal([&link](QWidget* dialog) {
        auto* rows = dialog->findChild<QListWidget*>("IDC_RECEIVERS");
        auto* ok = dialog->findChild<QPushButton*>("IDOK");
        ASSERT_TRUE(QTest::qWaitFor([rows] { return rows->count() == 2; }, 30000));
        EXPECT_TRUE(rows->item(0)->text().contains("no such device"))
            << rows->item(0)->text().toStdString();
        EXPECT_FALSE(rows->item(0)->flags() & Qt::ItemIsSelectable);
        EXPECT_TRUE(rows->item(1)->text().startsWith(link + "  4800 bit/s"))
            << rows->item(1)->text().toStdString();
        EXPECT_TRUE(rows->item(1)->isSelected()) << "the receiver found is chosen";
        EXPECT_TRUE(ok->isEnabled());
        QTest::mouseClick(ok, Qt::LeftButton);
    });
    CDia_FindReceiver dialog(OSTREL_PROGRAM, {"/dev/no-such-receiver", link});
    EXPECT_EQ(dialog.DoModal(), IDOK);
    EXPECT_EQ(dialog.m_strPort, QFile::encodeName(link).toStdString());
    EXPECT_EQ(dialog.m_nBaudRate, 4800);
    close(master);
    close(slave);
}

// The search could not test the port the program itself read: with the
// receiver there at another rate (the likeliest case) it said "in use by
// another program" and sent the user off to stop gpsd.
class FindReceiverFromTheFrame : public AppOnPty {};

TEST_F(FindReceiverFromTheFrame, TestsThePortThisProgramReadsAndTakesItBackAfterCancel) {
    QTimer talk;
    QObject::connect(&talk, &QTimer::timeout, [this] {
        const char rmc[] =
            "$GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W*6A\r\n";
        (void)!write(m_master, rmc, sizeof rmc - 1);
    });
    talk.start(100);
    const QString path = QFile::decodeName(m_path.c_str());
    Frame()->m_strProbeProgram = OSTREL_PROGRAM;
    Frame()->m_probeDevices = {path};
    AnswerNextModal([&path](QWidget* dialog) {
        auto* rows = dialog->findChild<QListWidget*>("IDC_RECEIVERS");
        EXPECT_LT(g_hComm, 0) << "the port is let go while the search runs";
        ASSERT_TRUE(QTest::qWaitFor([rows] { return rows->count() == 1; }, 30000));
        EXPECT_TRUE(rows->item(0)->text().startsWith(path + "  4800 bit/s"))
            << rows->item(0)->text().toStdString();
        QTest::mouseClick(dialog->findChild<QPushButton*>("IDCANCEL"), Qt::LeftButton);
    });
    Frame()->RouteCommand(ID_FIND_RECEIVER);
    EXPECT_GE(g_hComm, 0) << "taken back after Cancel";
    EXPECT_EQ(Frame()->m_gps.m_portName, m_path);
}

// A probe program that could not be started left the dialog at "Trying
// ..." for ever.
TEST(FindReceiverDialog, SaysWhenTheProbeCannotBeStarted) {
    AnswerNextModal([](QWidget* dialog) {
        auto* status = dialog->findChild<QLabel*>("IDC_PROBE_STATUS");
        EXPECT_TRUE(QTest::qWaitFor(
            [status] { return status->text().contains("cannot be started"); }, 5000))
            << status->text().toStdString();
        EXPECT_TRUE(status->text().contains("/no/such/ostrel")) << status->text().toStdString();
        EXPECT_FALSE(dialog->findChild<QPushButton*>("IDOK")->isEnabled());
        QTest::mouseClick(dialog->findChild<QPushButton*>("IDCANCEL"), Qt::LeftButton);
    });
    CDia_FindReceiver dialog("/no/such/ostrel", {"/dev/ttyS0", "/dev/ttyS1"});
    EXPECT_EQ(dialog.DoModal(), IDCANCEL);
}

// A probe that never answers: it writes its process id to the file given as
// its device and sleeps (the real one listens up to 12 s on a silent port).
class SilentProbe {
    QTemporaryDir dir_;

public:
    SilentProbe() {
        std::ofstream(program_.toStdString()) << "#!/bin/sh\necho $$ > \"$3\"\nexec sleep 30\n";
        QFile::setPermissions(program_, QFile::ReadOwner | QFile::ExeOwner);
    }
    ~SilentProbe() {
        if (Running())
            kill(Pid(), SIGKILL);
    }
    QString program_ = dir_.path() + QStringLiteral("/probe");
    QString pidFile_ = dir_.path() + QStringLiteral("/pid");
    // The probe's process id once it has started, else 0.
    pid_t Pid() const {
        pid_t pid = 0;
        std::ifstream(pidFile_.toStdString()) >> pid;
        return pid;
    }
    bool Started() const { return Pid() > 0; }
    // Neither gone nor a zombie.
    bool Running() const {
        std::ifstream stat("/proc/" + std::to_string(Pid()) + "/stat");
        std::string pid, command, state;
        return Pid() > 0 && stat >> pid >> command >> state && state != "Z";
    }
};

// Cancel left the probe holding its port until the dialog object went.
TEST(FindReceiverDialog, CancelEndsTheProbeAtOnce) {
    SilentProbe probe;
    AnswerNextModal([&probe](QWidget* dialog) {
        ASSERT_TRUE(QTest::qWaitFor([&probe] { return probe.Started(); }, 5000));
        QTest::mouseClick(dialog->findChild<QPushButton*>("IDCANCEL"), Qt::LeftButton);
    });
    CDia_FindReceiver dialog(probe.program_, {probe.pidFile_});
    EXPECT_EQ(dialog.DoModal(), IDCANCEL);
    errno = 0;
    EXPECT_TRUE(kill(probe.Pid(), 0) == -1 && errno == ESRCH) << "the probe was not reaped";
}

// The probe went on for its 12 s, holding the port, after the program was
// killed during the search.
TEST(FindReceiverDialogDeathTest, TheProbeEndsWithTheProgram) {
    SilentProbe probe;
    EXPECT_EXIT(
        {
            // Else the probe would hold the test's pipe open, and the wait
            // for this process's end would last as long as the probe.
            for (int fd = 3; fd < 1024; ++fd)
                if (const int flags = fcntl(fd, F_GETFD); flags >= 0)
                    fcntl(fd, F_SETFD, flags | FD_CLOEXEC);
            CDia_FindReceiver dialog(probe.program_, {probe.pidFile_});
            dialog.show();
            std::_Exit(QTest::qWaitFor([&probe] { return probe.Started(); }, 5000) ? 0 : 3);
        },
        testing::ExitedWithCode(0), "");
    EXPECT_TRUE(QTest::qWaitFor([&probe] { return !probe.Running(); }, 3000));
}

} // namespace
