#include "app/dia_find_receiver.h"
#include "tests/modal_driver.h"

#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>
#include <pty.h>
#include <unistd.h>

namespace {

// The search must list each device as it is tried, let only a row that
// found a receiver be chosen, and hand back that receiver's port and rate.
TEST(FindReceiverDialog, ListsEachDeviceAndGivesTheChosenReceiver) {
    int master = -1, slave = -1;
    char name[256] = {};
    ASSERT_EQ(openpty(&master, &slave, name, nullptr, nullptr), 0);
    // A receiver talking on the terminal, once a tenth of a second.
    QTimer talk;
    QObject::connect(&talk, &QTimer::timeout, [master] {
        const char rmc[] =
            "$GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W*6A\r\n";
        (void)!write(master, rmc, sizeof rmc - 1);
    });
    talk.start(100);

    AnswerNextModal([](QWidget* dialog) {
        auto* rows = dialog->findChild<QListWidget*>("IDC_RECEIVERS");
        auto* ok = dialog->findChild<QPushButton*>("IDOK");
        ASSERT_TRUE(QTest::qWaitFor([rows] { return rows->count() == 2; }, 30000));
        EXPECT_TRUE(rows->item(0)->text().contains("no such device"))
            << rows->item(0)->text().toStdString();
        EXPECT_FALSE(rows->item(0)->flags() & Qt::ItemIsSelectable);
        EXPECT_TRUE(rows->item(1)->isSelected()) << "the receiver found is chosen";
        EXPECT_TRUE(ok->isEnabled());
        QTest::mouseClick(ok, Qt::LeftButton);
    });
    CDia_FindReceiver dialog(OSTREL_PROGRAM, {"/dev/no-such-receiver", name});
    EXPECT_EQ(dialog.DoModal(), IDOK);
    EXPECT_EQ(dialog.m_strPort, name);
    EXPECT_EQ(dialog.m_nBaudRate, 4800);
    close(master);
    close(slave);
}

} // namespace
