#include "app/string_table.h"
#include "platform/message_box.h"
#include "platform/serial_port.h"
#include "tests/app/app_fixture.h"
#include "tests/modal_driver.h"

#include <QAbstractEventDispatcher>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <unistd.h>

namespace {

// "Show Properties" through the toolbar's action, with the receiver on a
// pseudo-terminal so that a reopened port shows.
class PropertiesCommand : public AppOnPty {
protected:
    void SetUp() override {
        AppOnPty::SetUp();
        SetMessageBoxHook([this](const QString& text) { messages << text; });
    }
    void TearDown() override {
        SetMessageBoxHook({});
        AppOnPty::TearDown();
    }

    QAction* Properties() const { return Frame()->CommandAction(ID_SHOW_PROPERTIES); }

    // The period [ms] of the view's running timer; -1 when none runs.
    static int TimerPeriod(COstrelView* view) {
        const auto timers = QAbstractEventDispatcher::instance()->registeredTimers(view);
        return timers.size() == 1 ? timers.front().interval : -1;
    }

    void CloseAllWindows() const {
        for (QMdiSubWindow* w : Frame()->MdiArea()->subWindowList())
            delete w;
        QApplication::processEvents();
    }

    void Activate(COstrelView* view) const {
        Frame()->MdiArea()->setActiveSubWindow(qobject_cast<QMdiSubWindow*>(view->parentWidget()));
        QApplication::processEvents();
        ASSERT_EQ(Frame()->MDIGetActive()->widget(), view);
    }

    QStringList messages;
};

void Retype(QLineEdit* edit, const char* text) {
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Delete);
    QTest::keyClicks(edit, text);
}

TEST_F(PropertiesCommand, ToolbarButtonIsTheCommandAndIsAlwaysEnabled) {
    EXPECT_TRUE(Frame()->m_wndToolBar.actions().contains(Properties()));
    Frame()->UpdateCommandUI();
    EXPECT_TRUE(Properties()->isEnabled()) << "with a window";
    CloseAllWindows();
    ASSERT_EQ(Frame()->MDIGetActive(), nullptr);
    Frame()->UpdateCommandUI();
    EXPECT_TRUE(Properties()->isEnabled()) << "without a window";
}

// Two windows with different periods: OK in the map window restarts only
// its timer, clears the message pane and leaves the port alone.
TEST_F(PropertiesCommand, FromAWindowOnlyThatWindowsTimerRestarts) {
    g_nUpdateMs = 2000;
    COstrelView* map = OpenWindow(DOCMODE_MAP);
    g_nUpdateMs = 1000;
    COstrelView* data = OpenWindow(DOCMODE_GPSDATA);
    ASSERT_TRUE(map && data);
    ASSERT_EQ(TimerPeriod(map), 2000);
    ASSERT_EQ(TimerPeriod(data), 1000);
    Activate(map);
    Frame()->SetMessageText("LON: 11\xB0");
    const int port = g_hComm;

    AnswerNextModal([](QWidget* dialog) {
        auto* update = dialog->findChild<QLineEdit*>("IDC_UPDATE_TIME");
        auto* portName = dialog->findChild<QComboBox*>("IDC_PORT_NAME");
        auto* ok = dialog->findChild<QPushButton*>("IDOK");
        ASSERT_TRUE(update && portName && ok);
        EXPECT_EQ(dialog->parentWidget(), nullptr);
        EXPECT_EQ(update->text(), QStringLiteral("2.0")) << "the window's own period";
        Retype(update, "3");
        portName->setEditText(QStringLiteral("/dev/ostrel-no-such-port"));
        QTest::mouseClick(ok, Qt::LeftButton);
    });
    Properties()->trigger();

    EXPECT_EQ(g_nUpdateMs, 3000);
    EXPECT_EQ(map->m_nUpdatePeriod, 3000);
    EXPECT_EQ(TimerPeriod(map), 3000);
    EXPECT_EQ(data->m_nUpdatePeriod, 1000);
    EXPECT_EQ(TimerPeriod(data), 1000);
    EXPECT_EQ(Frame()->GetMessageText(), QString());
    EXPECT_EQ(g_hComm, port) << "the port is not reopened from a window";
    EXPECT_EQ(g_strPortName, "/dev/ostrel-no-such-port");
    EXPECT_TRUE(messages.isEmpty()) << messages.join('|').toStdString();
}

TEST_F(PropertiesCommand, CancelInAWindowChangesNothing) {
    COstrelView* data = OpenWindow(DOCMODE_GPSDATA);
    ASSERT_NE(data, nullptr);
    Activate(data);
    Frame()->SetMessageText("kept");
    AnswerNextModal([](QWidget* dialog) {
        Retype(dialog->findChild<QLineEdit*>("IDC_UPDATE_TIME"), "5");
        QTest::mouseClick(dialog->findChild<QPushButton*>("IDCANCEL"), Qt::LeftButton);
    });
    Properties()->trigger();
    EXPECT_EQ(g_nUpdateMs, 1000);
    EXPECT_EQ(data->m_nUpdatePeriod, 1000);
    EXPECT_EQ(TimerPeriod(data), 1000);
    EXPECT_EQ(Frame()->GetMessageText(), QStringLiteral("kept"));
}

// With no window open the main frame's handler runs: OK reopens the port
// with the chosen settings, whether or not they changed.
TEST_F(PropertiesCommand, WithoutAWindowOkReopensThePortAndNamesAFailure) {
    CloseAllWindows();
    ASSERT_EQ(Frame()->MDIGetActive(), nullptr);
    const int port = g_hComm;

    AnswerNextModal([](QWidget* dialog) {
        dialog->findChild<QComboBox*>("IDC_PORT_NAME")->setEditText("COM2");
        QTest::keyClick(dialog, Qt::Key_Escape);
    });
    Properties()->trigger();
    EXPECT_EQ(g_hComm, port) << "cancelled, the port stays open";
    EXPECT_EQ(g_strPortName, m_path);
    EXPECT_TRUE(messages.isEmpty());

    AnswerNextModal([](QWidget* dialog) {
        auto* portName = dialog->findChild<QComboBox*>("IDC_PORT_NAME");
        auto* rate = dialog->findChild<QComboBox*>("IDC_BAUD_RATE");
        ASSERT_TRUE(portName && rate);
        EXPECT_EQ(dialog->findChild<QLineEdit*>("IDC_UPDATE_TIME")->text(), QStringLiteral("1.0"));
        portName->lineEdit()->selectAll();
        QTest::keyClicks(portName->lineEdit(), "/dev/ostrel-no-such-port");
        rate->setCurrentIndex(rate->findText(QStringLiteral("9600")));
        QTest::mouseClick(dialog->findChild<QPushButton*>("IDOK"), Qt::LeftButton);
    });
    Properties()->trigger();
    const std::string failure =
        "Can not open Com Port \"/dev/ostrel-no-such-port\" with Baud Rate 9600.";
    EXPECT_EQ(messages, QStringList{QString::fromStdString(failure)});
    EXPECT_EQ(Frame()->m_strMessage, failure);
    EXPECT_LT(g_hComm, 0);

    messages.clear();
    g_strPortName = m_path;
    AnswerNextModal([](QWidget* dialog) { QTest::keyClick(dialog, Qt::Key_Return); });
    Properties()->trigger();
    EXPECT_GE(g_hComm, 0) << "reopened on " << m_path;
    EXPECT_EQ(g_nBaudRate, 9600);
    EXPECT_TRUE(messages.isEmpty()) << messages.join('|').toStdString();
}

} // namespace
