#include "app/dia_properties.h"
#include "app/show_properties.h"
#include "gps/settings.h"
#include "platform/dialog_ids.h"
#include "platform/message_box.h"
#include "tests/modal_driver.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

namespace {

const QString kRefused = QStringLiteral("Update time must be 1.0 second or more.");

// The dialog as a user sees it, found by the controls' names.
struct PropertiesControls {
    explicit PropertiesControls(QWidget* dialog)
        : port(dialog->findChild<QComboBox*>("IDC_PORT_NAME")),
          rate(dialog->findChild<QComboBox*>("IDC_BAUD_RATE")),
          update(dialog->findChild<QLineEdit*>("IDC_UPDATE_TIME")),
          status(dialog->findChild<QCheckBox*>("IDC_SHOW_STATUS")),
          ok(dialog->findChild<QPushButton*>("IDOK")),
          cancel(dialog->findChild<QPushButton*>("IDCANCEL")) {}
    bool complete() const { return port && rate && update && status && ok && cancel; }

    QComboBox* port;
    QComboBox* rate;
    QLineEdit* update;
    QCheckBox* status;
    QPushButton* ok;
    QPushButton* cancel;
};

void retype(QLineEdit* edit, const QString& text) {
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Delete);
    QTest::keyClicks(edit, text);
}

class PropertiesDialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        g_strPortName = "COM1";
        g_nBaudRate = 4800;
        g_nUpdateMs = 1000;
        g_bShowAtStatusLine = 1;
        SetMessageBoxHook([this](const QString& text) { messages << text; });
    }
    void TearDown() override {
        SetMessageBoxHook({});
        EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    }

    // Opens a new dialog without a modal loop; the test presses its buttons.
    void open(int32_t showUpdateMs = 0) {
        dialog = std::make_unique<CDia_Properties>();
        dialog->m_nShowUpdateMs = showUpdateMs;
        dialog->show();
        controls = std::make_unique<PropertiesControls>(dialog.get());
        ASSERT_TRUE(controls->complete());
    }
    // OK on a fresh dialog that the user leaves as it opened.
    void plainOk() {
        open();
        QTest::mouseClick(controls->ok, Qt::LeftButton);
        EXPECT_FALSE(dialog->isVisible());
    }

    QStringList messages;
    std::unique_ptr<CDia_Properties> dialog;
    std::unique_ptr<PropertiesControls> controls;
};

TEST_F(PropertiesDialogTest, OpensWithTheDefaults) {
    open();
    EXPECT_EQ(dialog->windowTitle(), "Properties");
    EXPECT_EQ(controls->port->currentText(), "COM1");
    EXPECT_EQ(controls->port->currentIndex(), 0);
    EXPECT_EQ(controls->rate->currentText(), "4800");
    EXPECT_EQ(controls->rate->currentIndex(), 4);
    EXPECT_EQ(controls->update->text(), "1.0");
    EXPECT_TRUE(controls->status->isChecked());
    EXPECT_EQ(controls->port->count(), 5);
    EXPECT_EQ(controls->rate->itemText(12), "921600");
    EXPECT_TRUE(controls->ok->isDefault());
    EXPECT_TRUE(controls->port->isAncestorOf(dialog->focusWidget()) ||
                dialog->focusWidget() == controls->port);
    dialog->reject();
}

TEST_F(PropertiesDialogTest, OkStoresWhatWasChosenAndTyped) {
    open();
    controls->port->setCurrentIndex(2);
    controls->rate->setCurrentIndex(controls->rate->findText("19200"));
    retype(controls->update, "2.5");
    QTest::mouseClick(controls->status, Qt::LeftButton);
    QTest::mouseClick(controls->ok, Qt::LeftButton);
    EXPECT_EQ(dialog->result(), QDialog::Accepted);
    EXPECT_EQ(g_strPortName, "COM3");
    EXPECT_EQ(g_nBaudRate, 19200);
    EXPECT_EQ(g_nUpdateMs, 2500);
    EXPECT_EQ(g_bShowAtStatusLine, 0);
    EXPECT_TRUE(messages.isEmpty());
}

TEST_F(PropertiesDialogTest, TextsAndTabOrderAreAsDesigned) {
    open();
    QStringList texts;
    for (const QLabel* label : dialog->findChildren<QLabel*>())
        texts << label->text();
    for (const QGroupBox* group : dialog->findChildren<QGroupBox*>())
        texts << group->title();
    for (const char* text : {"Name:", "Bits per sec:", "Update (seconds):", "Com Port", "Map"})
        EXPECT_TRUE(texts.contains(text)) << text;
    EXPECT_EQ(controls->status->text(), "Show GPS Data at Status Line");
    EXPECT_EQ(controls->ok->text(), "OK");
    EXPECT_EQ(controls->cancel->text(), "Cancel");

    // The tab stops in order, from the port name round to it again.
    const QWidget* expected[] = {controls->port,   controls->rate, controls->update,
                                 controls->status, controls->ok,   controls->cancel,
                                 controls->port};
    const QWidget* w = controls->port;
    for (size_t i = 1; i < std::size(expected); ++i) {
        do
            w = w->nextInFocusChain();
        while (!(w->focusPolicy() & Qt::TabFocus) || w->focusProxy() || !w->isVisible());
        EXPECT_EQ(w, expected[i]) << "tab stop " << i << " is " << w->objectName().toStdString();
    }
    dialog->reject();
}

// Below one second, beyond what 32 bits of milliseconds hold, and hexadecimal
// (which reads as the 0 before its x).
TEST_F(PropertiesDialogTest, RefusedUpdateTimesKeepTheDialogOpen) {
    open();
    for (const char* text : {"0.999", "2147484", "0x10"}) {
        SCOPED_TRACE(text);
        messages.clear();
        retype(controls->update, text);
        QTest::mouseClick(controls->ok, Qt::LeftButton);
        EXPECT_EQ(messages, QStringList{kRefused});
        EXPECT_TRUE(dialog->isVisible());
        EXPECT_EQ(g_nUpdateMs, 1000);
    }
    retype(controls->update, "1");
    QTest::mouseClick(controls->ok, Qt::LeftButton);
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(g_nUpdateMs, 1000);
    EXPECT_EQ(messages.size(), 1);
}

TEST_F(PropertiesDialogTest, PeriodIsShownRoundedAndStoredAgainFromWhatIsShown) {
    open();
    retype(controls->update, "1.05");
    QTest::mouseClick(controls->ok, Qt::LeftButton);
    EXPECT_EQ(g_nUpdateMs, 1050);

    plainOk();
    EXPECT_EQ(controls->update->text(), "1.1");
    EXPECT_EQ(g_nUpdateMs, 1100);
}

TEST_F(PropertiesDialogTest, ShowsTheCallersPeriodWhenGiven) {
    open(2000);
    EXPECT_EQ(controls->update->text(), "2.0");
    dialog->reject();
    open(0);
    EXPECT_EQ(controls->update->text(), "1.0");
    dialog->reject();
}

// A device path or a rate that no list entry begins with is shown as it is,
// so that a plain OK keeps it instead of storing an empty field.
TEST_F(PropertiesDialogTest, SettingsOutsideTheListsSurviveAPlainOk) {
    const std::pair<std::string, int32_t> cases[] = {
        {"/dev/ttyUSB0", 14400}, {"COM7", 4800}, {"", 4800}, {"COM1", 0}, {"COM1", -300},
    };
    for (const auto& [port, rate] : cases) {
        SCOPED_TRACE(port + " at " + std::to_string(rate));
        g_strPortName = port;
        g_nBaudRate = rate;
        plainOk();
        EXPECT_EQ(controls->port->currentText().toStdString(), port);
        EXPECT_EQ(controls->rate->currentText(), QString::number(rate));
        EXPECT_EQ(g_strPortName, port);
        EXPECT_EQ(g_nBaudRate, rate);
    }
}

// The port name field was narrower than device paths: "/dev/pts/2" showed as "ev/pts/2".
TEST_F(PropertiesDialogTest, PortNameShowsADevicePathByIdWhole) {
    const QString path = QStringLiteral(
        "/dev/serial/by-id/usb-u-blox_AG_-_www.u-blox.com_u-blox_7_-_GPS_GNSS_Receiver-if00");
    g_strPortName = path.toStdString();
    open();
    QLineEdit* edit = controls->port->lineEdit();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(dialog.get()));
    edit->repaint(); // scrolls the text so that the cursor, at its end, is in view
    ASSERT_EQ(edit->cursorPosition(), path.size());
    EXPECT_EQ(edit->cursorPositionAt({1, edit->height() / 2}), 0) << "the start is out of view";
    dialog->reject();
}

TEST_F(PropertiesDialogTest, TypedPortIsStoredAndTheListsStayAsGiven) {
    open();
    controls->port->lineEdit()->selectAll();
    QTest::keyClicks(controls->port->lineEdit(), "/dev/ttyS0");
    controls->rate->lineEdit()->selectAll();
    QTest::keyClicks(controls->rate->lineEdit(), "14400");
    // Enter in the port field is OK, not "add to the list".
    QTest::keyClick(controls->port->lineEdit(), Qt::Key_Return);
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(dialog->result(), QDialog::Accepted);
    EXPECT_EQ(g_strPortName, "/dev/ttyS0");
    EXPECT_EQ(g_nBaudRate, 14400);
    EXPECT_EQ(controls->port->count(), 5);
    EXPECT_EQ(controls->rate->count(), 13);
}

TEST_F(PropertiesDialogTest, CancelAfterARefusedOkLeavesPortAndRateAsTyped) {
    open();
    controls->port->setEditText("/dev/ttyACM0");
    controls->rate->setEditText("9600");
    retype(controls->update, "0.5");
    QTest::mouseClick(controls->status, Qt::LeftButton);
    QTest::keyClick(controls->update, Qt::Key_Enter);
    EXPECT_EQ(messages, QStringList{kRefused});
    ASSERT_TRUE(dialog->isVisible());

    QTest::mouseClick(controls->cancel, Qt::LeftButton);
    EXPECT_EQ(dialog->result(), QDialog::Rejected);
    EXPECT_EQ(g_strPortName, "/dev/ttyACM0");
    EXPECT_EQ(g_nBaudRate, 9600);
    EXPECT_EQ(g_nUpdateMs, 1000);
    EXPECT_EQ(g_bShowAtStatusLine, 1);
}

struct PrefixCase {
    QString text;
    int start;
    int index;
};

TEST(PropertiesListSelection, FirstEntryBeginningWithTheTextFromTheOneAfterStart) {
    const QStringList ports = {"COM1", "COM2", "COM3", "COM4", "COM5"};
    const QStringList rates = {"110",   "300",   "1200",   "2400",   "4800",   "9600",  "19200",
                               "38400", "57600", "115200", "230400", "460800", "921600"};
    const PrefixCase portCases[] = {
        {"COM1", 0, 0}, // found only after wrapping round
        {"COM2", 0, 1},  {"com3", 0, 2},          {"Com5", 0, 4}, {"COM", 0, 1},    {"c", 0, 1},
        {"COM7", 0, -1}, {"/dev/ttyUSB0", 0, -1}, {"OM1", 0, -1}, {"COM1 ", 0, -1}, {"", 0, -1},
        {"COM", 3, 4},   {"COM", 4, 0},           {"COM", -1, 0},
    };
    for (const PrefixCase& c : portCases) {
        SCOPED_TRACE(c.text.toStdString() + " from " + std::to_string(c.start));
        EXPECT_EQ(FindStringPrefix(ports, c.text, c.start), c.index);
    }
    const PrefixCase rateCases[] = {
        {"4800", 0, 4}, {"110", 0, 0},    {"1", 0, 2},  {"11", 0, 9},
        {"1", 4, 6},    {"14400", 0, -1}, {"0", 0, -1}, {"921600", 0, 12},
    };
    for (const PrefixCase& c : rateCases) {
        SCOPED_TRACE(c.text.toStdString() + " from " + std::to_string(c.start));
        EXPECT_EQ(FindStringPrefix(rates, c.text, c.start), c.index);
    }
    EXPECT_EQ(FindStringPrefix({}, "COM1", 0), -1);
}

TEST_F(PropertiesDialogTest, FromTheFrameOkReopensThePortAndReportsAFailure) {
    std::vector<std::pair<std::string, int>> opened;
    const PortOpener failing = [&](const std::string& name, int rate) {
        opened.emplace_back(name, rate);
        return false;
    };
    AnswerNextModal([](QWidget* dialog) {
        PropertiesControls controls(dialog);
        ASSERT_TRUE(controls.complete());
        EXPECT_EQ(controls.update->text(), "1.0");
        controls.port->setEditText("/dev/ttyUSB7");
        controls.rate->setCurrentIndex(controls.rate->findText("9600"));
        QTest::mouseClick(controls.ok, Qt::LeftButton);
    });
    EXPECT_EQ(ShowPropertiesFromFrame(nullptr, failing), IDOK);
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0].first, "/dev/ttyUSB7");
    EXPECT_EQ(opened[0].second, 9600);
    EXPECT_EQ(messages, QStringList{"Can not open Com Port \"/dev/ttyUSB7\" with Baud Rate 9600."});

    // Unchanged settings still reopen the port; a success says nothing.
    messages.clear();
    AnswerNextModal([](QWidget* dialog) { QTest::keyClick(dialog, Qt::Key_Return); });
    EXPECT_EQ(ShowPropertiesFromFrame(nullptr,
                                      [&](const std::string& name, int rate) {
                                          opened.emplace_back(name, rate);
                                          return true;
                                      }),
              IDOK);
    EXPECT_EQ(opened.size(), 2u);
    EXPECT_TRUE(messages.isEmpty());

    AnswerNextModal([](QWidget* dialog) {
        PropertiesControls controls(dialog);
        controls.port->setEditText("COM2");
        QTest::keyClick(dialog, Qt::Key_Escape);
    });
    EXPECT_EQ(ShowPropertiesFromFrame(nullptr, failing), IDCANCEL);
    EXPECT_EQ(opened.size(), 2u);
    EXPECT_EQ(g_strPortName, "/dev/ttyUSB7");
}

TEST_F(PropertiesDialogTest, FromAViewTheDialogShowsTheViewsPeriod) {
    g_nUpdateMs = 1000;
    AnswerNextModal([](QWidget* dialog) {
        PropertiesControls controls(dialog);
        ASSERT_TRUE(controls.complete());
        EXPECT_EQ(controls.update->text(), "2.0");
        QTest::mouseClick(controls.ok, Qt::LeftButton);
    });
    EXPECT_EQ(ShowPropertiesFromView(2000), IDOK);
    EXPECT_EQ(g_nUpdateMs, 2000);

    AnswerNextModal([](QWidget* dialog) {
        PropertiesControls controls(dialog);
        QTest::mouseClick(controls.cancel, Qt::LeftButton);
    });
    EXPECT_EQ(ShowPropertiesFromView(3000), IDCANCEL);
    EXPECT_EQ(g_nUpdateMs, 2000);
}

} // namespace
