#include "app/child_frame.h"
#include "app/string_table.h"
#include "platform/message_box.h"
#include "platform/serial_port.h"
#include "tests/app/app_fixture.h"
#include "tests/modal_driver.h"
#include "tests/test_support.h"
#include "track/marks.h"

#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QToolBar>
#include <algorithm>
#include <arpa/inet.h>
#include <filesystem>
#include <fstream>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

const std::string kRmc = "$GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W*6A";
const std::string kGga = "$GPGGA,123520,4807.040,N,01131.010,E,1,08,0.9,545.4,M,46.9,M,,*47";
const std::string kVoid = "$GPRMC,123521,V,4900.000,N,01200.000,E,000.0,000.0,230394,,*3A";

// The application with its receiver on a pseudo-terminal.
class PollLoop : public AppOnPty {
protected:
    // Sends `bytes` and runs one poll tick once they have arrived.
    void SendAndTick(const std::string& bytes, int timerId = 1) {
        ASSERT_EQ(write(m_master, bytes.data(), bytes.size()), ssize_t(bytes.size()));
        pollfd p{g_hComm, POLLIN, 0};
        ASSERT_EQ(poll(&p, 1, 2000), 1);
        Frame()->OnTimer(timerId);
    }
};

TEST_F(PollLoop, ShowsTheRmcSentenceAndParsesAll) {
    Frame()->SetMessageText("before");
    SendAndTick(kGga + "\r\n" + kRmc + "\r\n");
    // The CR at its end is shown as a blank, so the pane keeps one line.
    EXPECT_EQ(Frame()->GetMessageText(), QString::fromLatin1(kRmc + " "));
    EXPECT_EQ(Frame()->m_gps.m_fix.m_strTime, "123519");
    EXPECT_EQ(Frame()->m_gps.m_fix.m_strLatitude, "4807.040"); // GGA after RMC
    EXPECT_EQ(Frame()->m_gps.m_fix.m_strAltitude, "545.4");
    EXPECT_FALSE(Frame()->m_bBusy);
}

// Record NMEA must keep every byte the receiver sent, and each move of the
// position must reach the journal whether or not a window shows it.
TEST_F(PollLoop, RecordsTheReceiversBytesAndJournalsEachMove) {
    TempDir dir;
    const std::string log = (dir.Path() / "trip.nmea").string();
    ASSERT_EQ(Frame()->StartNmeaRecording(log), "");
    Frame()->UpdateCommandUI();
    EXPECT_EQ(Frame()->CommandAction(ID_RECORD_NMEA)->text(), "Stop &Recording NMEA");
    delete Frame()->MDIGetActive();
    const std::string bytes = kRmc + "\r\n" + kGga + "\r\n";
    SendAndTick(bytes);
    SendAndTick(kRmc + "\r\n");
    Frame()->RouteCommand(ID_RECORD_NMEA);
    EXPECT_EQ(Frame()->CommandAction(ID_RECORD_NMEA)->text(), "&Record NMEA...");
    EXPECT_EQ(ReadFileBytes(log), bytes + kRmc + "\r\n");
    Frame()->OnTimer(1); // nothing more: the last epoch waits no longer

    // Each epoch, not only the newest of a tick: the first RMC's position,
    // the GGA's a second later, the second RMC's.
    const std::vector<JournalDay> days = ListJournalDays(Frame()->m_journal.Folder());
    ASSERT_EQ(days.size(), 1u);
    EXPECT_EQ(days[0].day, "1994-03-23");
    EXPECT_EQ(days[0].points, 3u);
}

// An epoch that waits for the rest of its burst was lost when the program
// ended before the next tick.
TEST_F(PollLoop, AnEpochStillWaitingAtTheEndIsJournalled) {
    const std::string folder = Frame()->m_journal.Folder();
    std::filesystem::remove_all(folder);
    SendAndTick(kRmc + "\r\n"); // no GGA yet
    EXPECT_TRUE(ListJournalDays(folder).empty());
    m_app.reset();
    const std::vector<JournalDay> days = ListJournalDays(folder);
    ASSERT_EQ(days.size(), 1u);
    EXPECT_EQ(days[0].points, 1u);
}

// A journal that could not be written was said once in the status line,
// which the next RMC overwrote within a second. It must be a message box,
// once per failure and never two at a time, while polling goes on.
TEST_F(PollLoop, AJournalThatCannotBeWrittenIsReportedInOneBoxPerFailure) {
    const std::filesystem::path folder = Frame()->m_journal.Folder();
    const auto block = [&folder](bool blocked) {
        std::filesystem::remove_all(folder);
        std::filesystem::create_directories(folder.parent_path());
        if (blocked)
            std::ofstream(folder) << "a file where the folder should be";
    };
    int moves = 0;
    // One epoch at a new position on `date` ("ddmmyy"), and a tick.
    const auto move = [&](const std::string& date) {
        ++moves;
        const std::string time = "1235" + std::to_string(10 + moves);
        const std::string lat = "4807." + std::to_string(100 + moves);
        SendAndTick("$GPRMC," + time + ",A," + lat + ",N,01131.000,E,022.4,084.4," + date +
                    ",003.1,W*6A\r\n$GPGGA," + time + "," + lat +
                    ",N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*47\r\n");
    };
    QStringList boxes;
    int open = 0, mostOpen = 0;
    SetMessageBoxHook([&](const QString& text) {
        mostOpen = std::max(mostOpen, ++open);
        boxes << text;
        if (boxes.size() == 1) {
            // While the box is open, ticks go on.
            move("230394");
            block(false);
            move("230394");
            block(true);
            move("240394"); // a new day's file: the journal fails again
            EXPECT_EQ(Frame()->m_gps.m_fix.m_strLatitude, "4807.104") << "the poll went on";
        }
        --open;
    });
    block(true);
    move("230394");
    EXPECT_EQ(boxes.size(), 1);
    move("240394");
    block(false);
    move("240394");
    block(true);
    move("250394");
    SetMessageBoxHook({});
    block(false);
    ASSERT_EQ(boxes.size(), 2) << "once per failure, after it was written again";
    EXPECT_TRUE(boxes[0].startsWith("Cannot make the track folder \"")) << boxes[0].toStdString();
    EXPECT_EQ(mostOpen, 1);
    EXPECT_NE(Frame()->GetMessageText(), boxes[1]);
}

TEST_F(PollLoop, WithoutRmcThePaneKeepsItsText) {
    Frame()->SetMessageText("before");
    SendAndTick(kGga + "\r\n");
    EXPECT_EQ(Frame()->GetMessageText(), QStringLiteral("before"));
    EXPECT_EQ(Frame()->m_gps.m_fix.m_strAltitude, "545.4");
}

TEST_F(PollLoop, WithTheOptionClearedThePaneIsNeverWritten) {
    g_bShowAtStatusLine = 0;
    Frame()->SetMessageText("before");
    SendAndTick(kRmc + "\r\n");
    EXPECT_EQ(Frame()->GetMessageText(), QStringLiteral("before"));
    EXPECT_EQ(Frame()->m_gps.m_fix.m_strTime, "123519");
}

TEST_F(PollLoop, AVoidFixIsShownButNotTaken) {
    SendAndTick(kRmc + "\r\n");
    SendAndTick(kVoid + "\r\n");
    EXPECT_EQ(Frame()->GetMessageText(), QString::fromLatin1(kVoid + " "));
    EXPECT_EQ(Frame()->m_gps.m_fix.m_strTime, "123519");
    EXPECT_EQ(Frame()->m_gps.m_fix.m_strLatitude, "4807.038");
}

TEST_F(PollLoop, OtherTimersAndBusyTicksAreIgnored) {
    SendAndTick(kRmc + "\r\n", 2);
    EXPECT_EQ(Frame()->m_gps.m_fix.m_strTime, "");
    Frame()->m_bBusy = true;
    Frame()->OnTimer(1);
    EXPECT_EQ(Frame()->m_gps.m_fix.m_strTime, "");
    Frame()->m_bBusy = false;
    Frame()->OnTimer(1); // the sentence is still waiting
    EXPECT_EQ(Frame()->m_gps.m_fix.m_strTime, "123519");
}

TEST_F(PollLoop, TheTimerDrivesThePollAndTheMarker) {
    COstrelView* world = ActiveView();
    ASSERT_NE(world, nullptr);
    g_nUpdateMs = 1000;
    SetClientSize(world, 600, 400);
    ASSERT_EQ(write(m_master, kRmc.data(), kRmc.size()), ssize_t(kRmc.size()));
    ASSERT_EQ(write(m_master, "\r\n", 2), 2);
    // Timer 1 polls within a second, timer 2 of the view draws after it.
    const QColor red(255, 0, 0);
    for (int i = 0; i < 60 && QColor(world->Surface().pixel(282, 100)) != red; ++i)
        QTest::qWait(50);
    EXPECT_EQ(Frame()->m_gps.m_fix.m_strTime, "123519");
    EXPECT_EQ(QColor(world->Surface().pixel(282, 100)), red);
}

// A network source that went quiet or away left the window as it was, with
// nothing to say why no position came.
TEST_F(PollLoop, ANetworkSourceTellsOnTheStatusLineWhatItIsDoing) {
    const int listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&address), size), 0);
    ASSERT_EQ(listen(listener, 1), 0);
    getsockname(listener, reinterpret_cast<sockaddr*>(&address), &size);
    const std::string name = "tcp://127.0.0.1:" + std::to_string(ntohs(address.sin_port));
    ASSERT_TRUE(Frame()->m_gps.OpenPort(name, 4800));
    EXPECT_LT(g_hComm, 0) << "no serial port is held for a network source";
    const int server = accept(listener, nullptr, nullptr);
    ASSERT_GE(server, 0);
    const std::string bytes = kRmc + "\r\n";
    ASSERT_EQ(send(server, bytes.data(), bytes.size(), 0), ssize_t(bytes.size()));
    QTest::qWait(50);
    Frame()->OnTimer(1);
    EXPECT_EQ(Frame()->GetMessageText(), QString::fromStdString(name + ": receiving"));
    EXPECT_EQ(Frame()->m_gps.m_fix.m_strTime, "123519");
    close(server);
    QTest::qWait(50);
    Frame()->OnTimer(1);
    EXPECT_EQ(Frame()->GetMessageText(),
              QString::fromStdString(name + ": closed by the other end; retrying in 1 s"));
    close(listener);
}

// ---- The frame and its windows ----

class MainWindow : public AppTest {};

TEST_F(MainWindow, ToolbarButtonsAndStatusPanes) {
    const QList<QAction*> actions = Frame()->m_wndToolBar.actions();
    ASSERT_EQ(actions.size(), 5);
    const QString tips[] = {"Open a map file", "Show Route Line", "Show Properties Dialog", "",
                            "Show GPS Data"};
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(actions[i]->isSeparator(), i == 3) << "button " << i;
        if (i == 3)
            continue;
        EXPECT_EQ(actions[i]->toolTip(), tips[i]) << "button " << i;
        EXPECT_FALSE(actions[i]->icon().isNull()) << "button " << i;
    }
    EXPECT_TRUE(actions[4]->isEnabled()); // Show GPS Data reaches the frame
    EXPECT_EQ(Frame()->m_wndStatusBar.GetCount(), 4);
    EXPECT_EQ(Frame()->statusBar(), &Frame()->m_wndStatusBar);
}

TEST_F(MainWindow, ShowCommandsOpenFurtherTitledWindows) {
    EXPECT_EQ(m_app->m_pDocTemplate->GetDocumentCount(), 1u);
    Frame()->RouteCommand(ID_SHOW_GPS_DATA);
    Frame()->RouteCommand(ID_SHOW_GPS_DATA);
    Frame()->RouteCommand(ID_SHOW_WORLD_MAP);
    QApplication::processEvents();
    EXPECT_EQ(g_nDocMode, DOCMODE_WORLDMAP);
    QStringList titles;
    std::vector<int> modes;
    for (QMdiSubWindow* w : Frame()->MdiArea()->subWindowList()) {
        titles << w->windowTitle();
        modes.push_back(static_cast<COstrelView*>(w->widget())->m_nMode);
    }
    EXPECT_EQ(titles, (QStringList{"World Map", "GPS Data", "GPS Data", "World Map"}));
    EXPECT_EQ(modes, (std::vector<int>{0, 2, 2, 0}));
    EXPECT_EQ(m_app->m_pDocTemplate->GetDocumentCount(), 4u);
    // File New names its document by number, counting every window made.
    COstrelView* map = OpenWindow(DOCMODE_MAP);
    EXPECT_EQ(map->parentWidget()->windowTitle(), QStringLiteral("Ostrel5"));
}

// The area's own placement put a window opened beside the World Map mostly
// outside the client area, title bar and buttons out of reach.
TEST_F(MainWindow, NewWindowsOpenWholeInsideTheClientArea) {
    Frame()->resize(800, 600);
    Frame()->show();
    QApplication::processEvents();
    const QRect area = Frame()->MdiArea()->viewport()->rect();
    for (int mode : {DOCMODE_MAP, DOCMODE_GPSDATA, DOCMODE_MAP, DOCMODE_WORLDMAP, DOCMODE_MAP}) {
        COstrelView* view = OpenWindow(mode);
        ASSERT_NE(view, nullptr);
        const QRect frame = view->parentWidget()->geometry();
        EXPECT_TRUE(area.contains(frame))
            << "mode " << mode << " at " << frame.x() << "," << frame.y() << " size "
            << frame.width() << "x" << frame.height();
    }
    Frame()->hide();
}

TEST_F(MainWindow, ClosingAWindowClearsThePaneAndDropsItsDocument) {
    // A child frame's message goes to the main window's pane.
    static_cast<CChildFrame*>(Frame()->MDIGetActive())->SetMessageText("LON: 11\xB0");
    EXPECT_EQ(Frame()->GetMessageText(), QString::fromUtf8("LON: 11\u00B0"));
    delete Frame()->MDIGetActive();
    EXPECT_EQ(Frame()->GetMessageText(), QString());
    EXPECT_EQ(m_app->m_pDocTemplate->GetDocumentCount(), 0u);
    // Without a window the map commands have no handler.
    Frame()->UpdateCommandUI();
    EXPECT_FALSE(Frame()->CommandAction(ID_SHOW_ROUTE_LINE)->isEnabled());
    EXPECT_TRUE(Frame()->CommandAction(ID_SHOW_GPS_DATA)->isEnabled());
}

TEST_F(MainWindow, EndingWithClosedWindowsNotYetDeletedIsSafe) {
    // Closed windows wait for the event loop to delete them; ending the
    // program before it runs must still take their views down first.
    OpenWindow(DOCMODE_GPSDATA);
    Frame()->findChild<QMdiArea*>()->closeAllSubWindows();
    m_app.reset();
}

// Mark Position must store the fix and show it at once, refuse without a
// fix, and the marks must come back as a layer in the next run; Go To with a
// typed position must show the navigation bar until Stop Navigation.
TEST_F(PollLoop, MarksThePositionAndNavigatesToATypedOne) {
    QStringList messages;
    SetMessageBoxHook([&messages](const QString& text) { messages << text; });
    std::filesystem::remove(DefaultMarksPath());
    Frame()->RouteCommand(ID_MARK_POSITION);
    EXPECT_EQ(messages, QStringList{"There is no position to mark."});

    SendAndTick(kRmc + "\r\n");
    Frame()->RouteCommand(ID_MARK_POSITION);
    EXPECT_TRUE(Frame()->GetMessageText().startsWith("Marked "))
        << Frame()->GetMessageText().toStdString();
    const GpxRead marks = ReadMarks(DefaultMarksPath());
    ASSERT_EQ(marks.data.waypoints.size(), 1u);
    EXPECT_NEAR(marks.data.waypoints[0].position.lat, 48 + 7.038 / 60, 1e-9);
    ASSERT_EQ(Frame()->m_layers.Overlay().marks.size(), 1u) << "shown at once";

    AnswerNextModal([](QWidget* dialog) {
        auto* list = dialog->findChild<QListWidget*>("IDC_GOTO_WAYPOINTS");
        ASSERT_NE(list, nullptr);
        ASSERT_EQ(list->count(), 1) << "the mark is a waypoint to go to";
        EXPECT_TRUE(list->item(0)->text().contains("   0 m, "))
            << list->item(0)->text().toStdString();
        dialog->findChild<QLineEdit*>("IDC_GOTO_LON_GRADS")->setText("11");
        dialog->findChild<QLineEdit*>("IDC_GOTO_LON_MINS")->setText("32");
        dialog->findChild<QLineEdit*>("IDC_GOTO_LAT_GRADS")->setText("48");
        dialog->findChild<QLineEdit*>("IDC_GOTO_LAT_MINS")->setText("7.038");
        QTest::mouseClick(dialog->findChild<QPushButton*>("IDOK"), Qt::LeftButton);
    });
    Frame()->RouteCommand(ID_GO_TO);
    ASSERT_TRUE(Frame()->m_navigation.Active());
    EXPECT_TRUE(Frame()->m_wndNavigationBar.isVisibleTo(Frame()));
    // One arc-minute of longitude east at 48 N: 1.24 km.
    EXPECT_TRUE(Frame()->m_navigationText.text().contains(QStringLiteral(": 1.24 km, 090\u00B0")))
        << Frame()->m_navigationText.text().toStdString();
    ASSERT_TRUE(Frame()->m_layers.Overlay().target);
    Frame()->RouteCommand(ID_STOP_NAVIGATION);
    EXPECT_FALSE(Frame()->m_wndNavigationBar.isVisibleTo(Frame()));
    EXPECT_FALSE(Frame()->m_layers.Overlay().target);
    SetMessageBoxHook({});

    m_app = std::make_unique<COstrelApp>();
    ASSERT_TRUE(m_app->InitInstance());
    EXPECT_EQ(Frame()->m_layers.Overlay().marks.size(), 1u) << "the marks of the last run";
    std::filesystem::remove(DefaultMarksPath());
}

// A GPX file that cannot be read must be named in a message and leave the
// others open; Follow Route must offer the routes and set the first point.
TEST_F(MainWindow, OpensGpxLayersAndFollowsARoute) {
    TempDir dir;
    const std::string good = (dir.Path() / "trip.gpx").string();
    std::ofstream(good) << "<?xml version=\"1.0\"?><gpx version=\"1.1\" "
                           "xmlns=\"http://www.topografix.com/GPX/1/1\">"
                           "<wpt lat=\"48.1\" lon=\"11.5\"><name>Hut</name></wpt>"
                           "<rte><name>Up</name><rtept lat=\"48.2\" lon=\"11.6\"><name>A</name>"
                           "</rtept><rtept lat=\"48.3\" lon=\"11.7\"><name>B</name></rtept></rte>"
                           "</gpx>";
    const std::string bad = (dir.Path() / "bad.gpx").string();
    std::ofstream(bad) << "<gpx><wpt";
    QStringList messages;
    SetMessageBoxHook([&messages](const QString& text) { messages << text; });
    Frame()->OpenGpxLayers({bad, good});
    SetMessageBoxHook({});
    ASSERT_EQ(messages.size(), 1);
    EXPECT_TRUE(messages[0].contains("bad.gpx")) << messages[0].toStdString();
    EXPECT_TRUE(Frame()->GetMessageText().startsWith("trip.gpx: 1 waypoint, 1 route"))
        << Frame()->GetMessageText().toStdString();
    EXPECT_EQ(Frame()->m_layers.Overlay().marks.size(), 3u);

    AnswerNextModal([](QWidget* dialog) {
        auto* list = dialog->findChild<QListWidget*>("IDC_PICK_LIST");
        ASSERT_NE(list, nullptr);
        ASSERT_EQ(list->count(), 1);
        EXPECT_EQ(list->item(0)->text(), "Up   2 points");
        QTest::mouseClick(dialog->findChild<QPushButton*>("IDOK"), Qt::LeftButton);
    });
    Frame()->RouteCommand(ID_FOLLOW_ROUTE);
    ASSERT_TRUE(Frame()->m_navigation.FollowingRoute());
    EXPECT_EQ(Frame()->m_navigation.TargetName(), "A");
    Frame()->RouteCommand(ID_CLOSE_GPX_LAYERS);
    EXPECT_TRUE(Frame()->m_layers.Overlay().marks.empty());
}

TEST(StatusText, ControlCharactersShowAsBlanks) {
    EXPECT_EQ(StatusTextFromBytes("$GPRMC,1\r"), QStringLiteral("$GPRMC,1 "));
    EXPECT_EQ(StatusTextFromBytes(std::string("a\tb\nc\x7F", 6)), QStringLiteral("a b c "));
    EXPECT_EQ(StatusTextFromBytes("9\xB0"), QString::fromUtf8("9\u00B0"));
}

} // namespace
