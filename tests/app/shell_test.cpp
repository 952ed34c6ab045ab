// The application shell as a person drives it: start-up, the menus that
// follow the active window, opening maps, the recent files, the keys,
// printing and help.

#include "app/dia_about.h"
#include "app/help_window.h"
#include "app/start_windows.h"
#include "app/string_table.h"
#include "map/calibration_store.h"
#include "platform/message_box.h"
#include "platform/print_view.h"
#include "platform/profile.h"
#include "tests/app/app_fixture.h"
#include "tests/modal_driver.h"
#include "tests/render/bmp_file.h"
#include "tests/test_support.h"

#include <QDir>
#include <QFileDialog>
#include <QMenuBar>
#include <QPageSetupDialog>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrintPreviewWidget>
#include <QPrinter>
#include <QProcess>
#include <QProgressDialog>
#include <QPushButton>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QStatusBar>
#include <QTest>
#include <QToolBar>
#include <QToolButton>
#include <QWhatsThis>
#include <filesystem>
#include <fstream>
#include <memory>

void PrintTo(const QString& text, std::ostream* os) {
    *os << '"' << text.toStdString() << '"';
}

namespace {

namespace fs = std::filesystem;

// A menu as text: its title, then its items, "-" for a separator.
using MenuText = QStringList;

MenuText Describe(QMenu* menu) {
    MenuText text{menu->title()};
    for (QAction* action : menu->actions())
        text << (action->isSeparator() ? QStringLiteral("-") : action->text());
    return text;
}

// The access key of a menu text: the character after its first single '&'.
QChar AccessKey(const QString& text) {
    for (qsizetype i = 0; i + 1 < text.size(); ++i) {
        if (text[i] != '&')
            continue;
        if (text[i + 1] != '&')
            return text[i + 1].toLower();
        ++i; // "&&" is an ampersand
    }
    return {};
}

// The access keys that two of `texts` share.
QString SharedAccessKeys(const QStringList& texts) {
    QString seen, shared;
    for (const QString& text : texts) {
        const QChar key = AccessKey(text);
        if (!key.isNull())
            (seen.contains(key) ? shared : seen) += key;
    }
    return shared;
}

// A key that two titles of the menu bar, or two items of one menu, share
// chooses the first of them only.
void ExpectDistinctAccessKeys(const QList<MenuText>& menus) {
    QStringList titles;
    for (const MenuText& menu : menus) {
        titles << menu.front();
        EXPECT_EQ(SharedAccessKeys(menu.mid(1)), QString()) << "in " << menu.front().toStdString();
    }
    EXPECT_EQ(SharedAccessKeys(titles), QString()) << "in the menu bar";
}

QAction* Item(QMenu* menu, const QString& text) {
    for (QAction* action : menu->actions()) {
        if (action->text() == text)
            return action;
    }
    ADD_FAILURE() << "no item " << text.toStdString() << " in " << menu->title().toStdString();
    return nullptr;
}

// Runs in a working folder of its own (the calibration store lives there),
// with the message boxes answered here.
class ShellTest : public AppTest {
protected:
    void SetUp() override {
        m_oldDir = fs::current_path();
        ASSERT_TRUE(m_workDir.isValid());
        fs::current_path(m_workDir.path().toStdString());
        SetMessageBoxHook([this](const QString& text) { m_messages << text; });
        AppTest::SetUp();
    }
    void TearDown() override {
        AppTest::TearDown();
        SetMessageBoxHook({});
        fs::current_path(m_oldDir);
    }

    QList<MenuText> MenuBar() {
        QList<MenuText> menus;
        for (QAction* action : Frame()->menuBar()->actions()) {
            if (QMenu* menu = action->menu()) {
                emit menu->aboutToShow();
                menus << Describe(menu);
            }
        }
        return menus;
    }

    QMenu* Menu(const QString& title) {
        for (QAction* action : Frame()->menuBar()->actions()) {
            if (action->menu() && action->menu()->title() == title)
                return action->menu();
        }
        ADD_FAILURE() << "no menu " << title.toStdString();
        return nullptr;
    }

    // A bitmap file of w x h pixels of one colour in the working folder.
    QString WriteMap(const QString& name, int w = 64, int h = 48, uint32_t rgb = 0x008000) {
        std::ofstream(name.toStdString(), std::ios::binary) << PlainBmp(w, h, rgb);
        return m_workDir.filePath(name);
    }

    // Presses `keys` in the main window as a person would.
    void Press(const QKeySequence& keys) {
        Frame()->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(Frame()));
        QWidget* target = QApplication::focusWidget() ? QApplication::focusWidget() : Frame();
        QTest::keySequence(target, keys);
        QApplication::processEvents();
    }

    QList<QMdiSubWindow*> Windows() const { return Frame()->MdiArea()->subWindowList(); }

    QTemporaryDir m_workDir;
    fs::path m_oldDir;
    QStringList m_messages;
};

// ---- Start-up and the menus ----

// Our Tools menu stands just before Help in both menus, and leaves every other one as it was.
const MenuText kToolsMenu = {"&Tools",
                             "&Find Receiver...",
                             "-",
                             "Follow &Position",
                             "Export &Track as GPX...",
                             "Export &Calibration...",
                             "-",
                             "Zoom &In\tCtrl++",
                             "Zoom &Out\tCtrl+-",
                             "&Actual Size\tCtrl+0",
                             "Fit &Map in Window\tCtrl+9",
                             "-",
                             "&Record NMEA...",
                             "-",
                             "Open GP&X Layer...",
                             "C&lose GPX Layers",
                             "Show Recor&ded Track...",
                             "Mar&k Position\tCtrl+M",
                             "-",
                             "&Go To...",
                             "Follow Ro&ute...",
                             "&Stop Navigation"};

const QList<MenuText> kMainFrameMenu = {
    {"&File", "&Open map...\tCtrl+O", "-", "Recent File", "-", "&Close", "E&xit"},
    {"&View", "&Toolbar", "&Status Bar", "-", "Show World Map", "Show GPS Data", "Show Properties"},
    kToolsMenu,
    {"&Help", "&Help Topics", "-", "&About Ostrel..."},
};

const QList<MenuText> kMapTypeMenu = {
    {"&File", "&Open map...\tCtrl+O", "&Close", "-", "Recent File", "-", "E&xit"},
    {"&View", "&Toolbar", "&Status Bar", "-", "Show Route Line", "Clear Route Line", "-",
     "Show calibration points", "Clear calibration points", "-", "Show GPS Data", "Show World Map",
     "Show Properties"},
    {"&Window", "&New Window", "&Cascade", "&Tile", "&Arrange Icons"},
    kToolsMenu,
    {"&Help", "&Help Topics", "-", "&About Ostrel..."},
};

TEST_F(ShellTest, StartsWithOneWorldMapAndTheMenusFollowTheActiveWindow) {
    ASSERT_EQ(Windows().size(), 1);
    COstrelView* view = ActiveView();
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(view->m_nMode, DOCMODE_WORLDMAP);
    EXPECT_EQ(Windows()[0]->windowTitle(), "World Map");
    EXPECT_EQ(Frame()->windowTitle(), "Ostrel - World Map");
    EXPECT_EQ(MenuBar(), kMapTypeMenu);
    ExpectDistinctAccessKeys(MenuBar());
    EXPECT_FALSE(Item(Menu("&File"), "Recent File")->isEnabled());
    EXPECT_TRUE(Item(Menu("&File"), "&Close")->isEnabled());

    Frame()->RouteCommand(ID_FILE_CLOSE);
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(Windows().isEmpty());
    EXPECT_EQ(Frame()->windowTitle(), "Ostrel");
    EXPECT_EQ(MenuBar(), kMainFrameMenu);
    ExpectDistinctAccessKeys(MenuBar());
    EXPECT_FALSE(Item(Menu("&File"), "Recent File")->isEnabled());
    EXPECT_FALSE(Item(Menu("&File"), "&Close")->isEnabled()) << "nothing to close";
    EXPECT_FALSE(Item(Menu("&File"), "&Open map...\tCtrl+O")->isIconVisibleInMenu());

    Frame()->RouteCommand(ID_SHOW_GPS_DATA);
    EXPECT_EQ(MenuBar().size(), 5) << "a new window brings the document menu back";
    EXPECT_EQ(Frame()->windowTitle(), "Ostrel - GPS Data");
}

TEST_F(ShellTest, AMaximisedWindowNamesItsDocumentOnceInTheTitle) {
    Frame()->show();
    QMdiSubWindow* world = Frame()->MDIGetActive();
    world->showMaximized();
    EXPECT_EQ(Frame()->windowTitle(), "Ostrel - [World Map]");
    Frame()->RouteCommand(ID_SHOW_GPS_DATA);
    EXPECT_EQ(Frame()->windowTitle(), "Ostrel - [GPS Data]");
    Frame()->MDIGetActive()->showNormal();
    EXPECT_EQ(Frame()->windowTitle(), "Ostrel - GPS Data");
}

} // namespace

namespace {

// Dialogs that open in turn (print, then preview) are waited for.
constexpr ModalWait kWaitForDialog{5000};

// ---- Opening maps ----

TEST_F(ShellTest, AMapOpensWithItsStoredCalibrationAndTitledByItsName) {
    const QString path = WriteMap("city.bmp", 300, 200);
    std::ofstream(kCalibrationStoreName)
        << path.toStdString() << ",10,20,1000,35500,250,180,4000,32500\r\n";
    // A relative name is made full, as the store and the recent files need it.
    ASSERT_NE(m_app->OpenDocumentFile("./city.bmp"), nullptr);
    QApplication::processEvents();
    COstrelView* view = ActiveView();
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(view->m_nMode, DOCMODE_MAP);
    EXPECT_EQ(g_nDocMode, DOCMODE_MAP);
    EXPECT_TRUE(view->m_bMapLoaded);
    EXPECT_TRUE(view->m_bCalibrated);
    EXPECT_EQ(view->m_cal.m_nX2, 250);
    EXPECT_EQ(view->GetTotalSize(), (CSize{300, 200}));
    EXPECT_EQ(view->m_pDocument->GetPathName(), path.toStdString());
    EXPECT_EQ(Frame()->MDIGetActive()->windowTitle(), "city.bmp");
    EXPECT_EQ(Frame()->windowTitle(), "Ostrel - city.bmp");
    // The picture and the marker of calibration point 1 are on the screen.
    EXPECT_EQ(QColor(view->Surface().pixel(60, 60)), QColor(0, 128, 0));
    EXPECT_EQ(QColor(view->Surface().pixel(10, 20)), QColor(0, 0, 0));
    EXPECT_EQ(QColor(view->Surface().pixel(10 + 7, 20)), QColor(0, 0, 0));
    EXPECT_EQ(m_app->m_recentFileList[0], path);
    EXPECT_TRUE(m_messages.isEmpty());
}

// Once an empty window with no message: a failure reported as success.
TEST_F(ShellTest, AFileThatIsNoPictureGivesItsMessageAndOpensNothing) {
    // A file name with a letter beyond ASCII shows as it is spelt, not as Latin-1.
    std::ofstream("Z\xC3\xBCrich notes.txt") << "not a picture\n";
    EXPECT_EQ(m_app->OpenDocumentFile(QString::fromUtf8("Z\xC3\xBCrich notes.txt")), nullptr);
    EXPECT_EQ(m_messages,
              QStringList{QString::fromUtf8("\"Z\xC3\xBCrich notes.txt\" is not a picture Ostrel "
                                            "can show: it is no BMP, PNG, JPEG or TIFF file.")});
    EXPECT_EQ(Windows().size(), 1);
    EXPECT_EQ(m_app->m_recentFileList.GetSize(), 0);
    EXPECT_EQ(g_nDocMode, DOCMODE_WORLDMAP);
}

// Catches a cancel that still opens a window or keeps a partial copy, and a
// world file beside the scan that is not put in force (or is stored).
TEST_F(ShellTest, ALargeScanShowsProgressAndCalibratesFromItsWorldFile) {
    if (std::system("convert -version >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "ImageMagick's convert is not installed";
    ASSERT_EQ(std::system("convert -size 2100x2000 xc:#008000 scan.jpg"), 0);
    std::ofstream("scan.jgw") << "0.000277777777778\n0\n0\n-0.000277777777778\n10\n50\n";
    const QString cache = m_workDir.filePath("cache");
    qputenv("XDG_CACHE_HOME", cache.toLocal8Bit());
    const auto answered = AnswerNextModal<QProgressDialog>(
        [](QProgressDialog* dialog) { dialog->cancel(); }, kWaitForDialog);
    EXPECT_EQ(m_app->OpenDocumentFile("scan.jpg"), nullptr);
    EXPECT_TRUE(*answered);
    EXPECT_EQ(Windows().size(), 1);
    EXPECT_TRUE(m_messages.isEmpty());
    EXPECT_EQ(m_app->m_recentFileList.GetSize(), 0);
    EXPECT_TRUE(QDir(cache + "/ostrel").entryList(QDir::Files).isEmpty());

    ASSERT_NE(m_app->OpenDocumentFile("scan.jpg"), nullptr);
    qunsetenv("XDG_CACHE_HOME");
    COstrelView* view = ActiveView();
    EXPECT_EQ(view->GetTotalSize(), (CSize{2100, 2000}));
    EXPECT_NEAR(QColor(view->Surface().pixel(5, 5)).green(), 128, 2);
    EXPECT_TRUE(view->m_bCalibrated);
    ASSERT_TRUE(view->m_pGeoref);
    const std::optional<LonLat> corner = view->Model().PositionAt({2100 / 8, 0});
    ASSERT_TRUE(corner);
    EXPECT_NEAR(corner->lon, 10 + 2100 / 8 / 3600.0, 1e-9);
    EXPECT_FALSE(fs::exists(kCalibrationStoreName));
    // One decoded copy, and its four reduced copies (1050 x 1000 down to 132 x 125).
    const QStringList files = QDir(cache + "/ostrel").entryList(QDir::Files);
    EXPECT_EQ(files.filter(QRegularExpression("^[0-9a-f]+\\.bmp$")).size(), 1) << files.size();
    EXPECT_EQ(files.filter(QRegularExpression("^[0-9a-f]+\\.L[1-4]\\.bmp$")).size(), 4);
    EXPECT_EQ(files.size(), 5);
    EXPECT_EQ(m_app->m_recentFileList[0], m_workDir.filePath("scan.jpg"));
}

TEST_F(ShellTest, AFileThatCannotBeReadOpensNothing) {
    fs::create_directory("maps");
    for (const char* name : {"missing.bmp", "maps", "/dev/null"}) {
        m_messages.clear();
        EXPECT_EQ(m_app->OpenDocumentFile(name), nullptr) << name;
        EXPECT_EQ(m_messages, QStringList{"Failed to open document."}) << name;
        EXPECT_EQ(Windows().size(), 1) << name;
        EXPECT_EQ(m_app->m_pDocTemplate->GetDocumentCount(), 1u) << name;
        EXPECT_EQ(m_app->m_recentFileList.GetSize(), 0) << name;
        EXPECT_EQ(g_nDocMode, DOCMODE_WORLDMAP) << name;
    }
}

TEST_F(ShellTest, AFileThatIsOpenAlreadyComesToTheFront) {
    WriteMap("a.bmp");
    WriteMap("b.bmp");
    CDocument* a = m_app->OpenDocumentFile("a.bmp");
    m_app->OpenDocumentFile("b.bmp");
    EXPECT_EQ(Frame()->MDIGetActive()->windowTitle(), "b.bmp");
    EXPECT_EQ(m_app->OpenDocumentFile(m_workDir.filePath("a.bmp")), a);
    EXPECT_EQ(Windows().size(), 3);
    EXPECT_EQ(Frame()->MDIGetActive()->windowTitle(), "a.bmp");
}

TEST_F(ShellTest, FileOpenAsksForAnyFile) {
    const QString path = WriteMap("lake.bmp");
    AnswerNextModal<QFileDialog>(
        [&](QFileDialog* dialog) {
            EXPECT_EQ(dialog->nameFilters(), QStringList{"All Files (*)"});
            EXPECT_EQ(dialog->fileMode(), QFileDialog::ExistingFile);
            dialog->selectFile(path);
            QMetaObject::invokeMethod(dialog, "accept");
        },
        kWaitForDialog);
    Frame()->CommandAction(ID_FILE_OPEN)->trigger();
    EXPECT_EQ(Frame()->MDIGetActive()->windowTitle(), "lake.bmp");

    AnswerNextModal<QFileDialog>([](QFileDialog* dialog) { dialog->reject(); }, kWaitForDialog);
    Frame()->CommandAction(ID_FILE_OPEN)->trigger();
    EXPECT_EQ(Windows().size(), 2);
}

TEST_F(ShellTest, TheCommandLineOpensItsMapAsTheOnlyWindow) {
    const QString path = WriteMap("harbour.bmp");
    m_app = std::make_unique<COstrelApp>();
    ASSERT_TRUE(m_app->InitInstance(path));
    ASSERT_EQ(Windows().size(), 1);
    EXPECT_EQ(ActiveView()->m_nMode, DOCMODE_MAP);
    EXPECT_EQ(ActiveView()->GetTotalSize(), (CSize{64, 48}));
    EXPECT_TRUE(Frame()->isVisible());

    // A map that cannot be read ends the start-up after its message.
    m_app = std::make_unique<COstrelApp>();
    EXPECT_FALSE(m_app->InitInstance("gone.bmp"));
    EXPECT_EQ(m_messages.size(), 1);
    EXPECT_FALSE(Frame()->isVisible());
}

// --centre X,Y as the program starts, alone and beside the World Map: the
// pixel in the middle of the map window as it shows, scroll bars and all,
// and the picture's far corner in the window's far corner. The centring
// used to count the client area before the scroll bars came: 7 pixels off,
// and a scroll bar short of the corner.
TEST_F(ShellTest, TheCommandLineCentresItsMapOnTheGivenPixel) {
    const QString path = WriteMap("harbour.bmp", 2000, 1500);
    const struct {
        CPoint centre;
        bool worldMap;
    } cases[] = {{{1000, 700}, false}, {{1999, 1499}, false}, {{1000, 700}, true}};
    for (const auto& c : cases) {
        m_app = std::make_unique<COstrelApp>();
        ASSERT_TRUE(m_app->InitInstance(path));
        CommandLine line;
        line.mapFile = path.toStdString();
        line.centre = c.centre;
        line.worldMap = c.worldMap;
        ArrangeStartWindows(*Frame(), line);
        QApplication::processEvents();
        ASSERT_EQ(Windows().size(), c.worldMap ? 2 : 1);
        const COstrelView* view = ActiveView();
        ASSERT_EQ(view->m_nMode, DOCMODE_MAP);
        const CRect client = view->GetClientRect();
        const CPoint expected{std::min(c.centre.x - client.Width() / 2, 2000 - client.Width()),
                              std::min(c.centre.y - client.Height() / 2, 1500 - client.Height())};
        EXPECT_EQ(view->GetScrollPosition(), expected)
            << c.centre.x << "," << c.centre.y << (c.worldMap ? " beside the World Map" : "");
    }
}

// ---- New windows and the document mode ----

TEST_F(ShellTest, CtrlNAfterAMapOpensAnEmptyMapWindow) {
    m_app->OpenDocumentFile(WriteMap("a.bmp"));
    Press(QKeySequence(Qt::CTRL | Qt::Key_N));
    ASSERT_EQ(Windows().size(), 3);
    COstrelView* view = ActiveView();
    EXPECT_EQ(view->m_nMode, DOCMODE_MAP);
    EXPECT_FALSE(view->m_bMapLoaded);
    EXPECT_EQ(view->m_dib.GetWidth(), 0);
    EXPECT_EQ(Frame()->MDIGetActive()->windowTitle(), "Ostrel2");

    Frame()->RouteCommand(ID_SHOW_GPS_DATA);
    Press(QKeySequence(Qt::CTRL | Qt::Key_N));
    EXPECT_EQ(ActiveView()->m_nMode, DOCMODE_GPSDATA);
}

TEST_F(ShellTest, NewWindowTakesTheCurrentModeAndNumbersTheTitles) {
    m_app->OpenDocumentFile(WriteMap("a.bmp"));
    QMdiSubWindow* map = Frame()->MDIGetActive();
    Frame()->RouteCommand(ID_SHOW_GPS_DATA);
    Frame()->MdiArea()->setActiveSubWindow(map);
    Frame()->RouteCommand(ID_WINDOW_NEW);
    ASSERT_EQ(Windows().size(), 4);
    COstrelView* second = ActiveView();
    EXPECT_EQ(second->m_nMode, DOCMODE_GPSDATA);
    EXPECT_EQ(second->m_pDocument, static_cast<COstrelView*>(map->widget())->m_pDocument);
    EXPECT_EQ(map->windowTitle(), "a.bmp:1");
    EXPECT_EQ(Frame()->MDIGetActive()->windowTitle(), "a.bmp:2");
    EXPECT_EQ(Frame()->windowTitle(), "Ostrel - a.bmp");

    delete Frame()->MDIGetActive();
    EXPECT_EQ(map->windowTitle(), "a.bmp");
    // File Close closes every window of the document.
    Frame()->MdiArea()->setActiveSubWindow(map);
    Frame()->RouteCommand(ID_WINDOW_NEW);
    EXPECT_EQ(Windows().size(), 4);
    Frame()->RouteCommand(ID_FILE_CLOSE);
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(Windows().size(), 2);
    EXPECT_EQ(m_app->m_pDocTemplate->GetDocumentCount(), 2u);
}

TEST_F(ShellTest, WindowMenuArrangesTheWindows) {
    Frame()->show();
    Frame()->RouteCommand(ID_SHOW_GPS_DATA);
    Frame()->RouteCommand(ID_SHOW_WORLD_MAP);
    const QList<QMdiSubWindow*> windows = Windows();
    Frame()->RouteCommand(ID_WINDOW_TILE_HORZ);
    for (int i = 1; i < windows.size(); ++i)
        EXPECT_FALSE(windows[i]->geometry().intersects(windows[0]->geometry())) << i;
    Frame()->RouteCommand(ID_WINDOW_CASCADE);
    EXPECT_LT(windows[0]->y(), windows[2]->y());

    windows[0]->showMinimized();
    windows[1]->showMinimized();
    windows[0]->move(40, 30);
    Frame()->MdiArea()->setActiveSubWindow(windows[2]);
    Frame()->RouteCommand(ID_WINDOW_ARRANGE);
    const int bottom = Frame()->MdiArea()->viewport()->height();
    EXPECT_EQ(windows[0]->geometry().bottomLeft(), QPoint(0, bottom - 1));
    EXPECT_EQ(windows[1]->x(), windows[0]->width());
}

// ---- The recent files and the profile ----

TEST_F(ShellTest, TheRecentFilesKeepTenAndTheNewestFirst) {
    for (int i = 1; i <= 11; ++i)
        ASSERT_NE(m_app->OpenDocumentFile(WriteMap(QStringLiteral("m%1.bmp").arg(i))), nullptr);
    emit Menu("&File")->aboutToShow();
    const QStringList expected = {"&Open map...\tCtrl+O",
                                  "&Close",
                                  "-",
                                  "&1 m11.bmp",
                                  "&2 m10.bmp",
                                  "&3 m9.bmp",
                                  "&4 m8.bmp",
                                  "&5 m7.bmp",
                                  "&6 m6.bmp",
                                  "&7 m5.bmp",
                                  "&8 m4.bmp",
                                  "&9 m3.bmp",
                                  "1&0 m2.bmp",
                                  "-",
                                  "E&xit"};
    EXPECT_EQ(Describe(Menu("&File")).mid(1), expected);

    const QSettings profile;
    QStringList keys = profile.allKeys();
    keys.sort();
    QStringList files;
    for (int i = 1; i <= 10; ++i)
        files << QStringLiteral("Recent File List/File%1").arg(i);
    files.sort();
    EXPECT_EQ(keys, files);
    EXPECT_EQ(profile.value("Recent File List/File10").toString(), m_workDir.filePath("m2.bmp"));
}

TEST_F(ShellTest, ARecentFileOpensFromTheMenuAndLeavesItWhenItIsGone) {
    m_app->OpenDocumentFile(WriteMap("a.bmp"));
    m_app->OpenDocumentFile(WriteMap("b.bmp"));
    Frame()->RouteCommand(ID_FILE_CLOSE);
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QMenu* file = Menu("&File");
    emit file->aboutToShow();
    Item(file, "&1 b.bmp")->trigger();
    EXPECT_EQ(Frame()->MDIGetActive()->windowTitle(), "b.bmp");

    Frame()->RouteCommand(ID_FILE_CLOSE);
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    fs::remove("b.bmp");
    emit file->aboutToShow();
    Item(file, "&1 b.bmp")->trigger();
    EXPECT_EQ(m_messages, QStringList{"Failed to open document."});
    emit file->aboutToShow();
    EXPECT_EQ(Describe(file).mid(1),
              (QStringList{"&Open map...\tCtrl+O", "&Close", "-", "&1 a.bmp", "-", "E&xit"}));
}

TEST_F(ShellTest, ARestartKeepsOnlyTheRecentFilesAndStartsFromTheDefaults) {
    const QString path = WriteMap("a.bmp");
    m_app->OpenDocumentFile(path);
    // What a Properties dialog could have changed in this run.
    g_strPortName = "/dev/ttyUSB3";
    g_nBaudRate = 9600;
    g_nUpdateMs = 5000;
    g_bShowAtStatusLine = 0;
    m_app = std::make_unique<COstrelApp>();
    g_strPortName = "";
    g_nBaudRate = 4800;
    g_nUpdateMs = 1000;
    g_bShowAtStatusLine = 1;
    g_nDocMode = DOCMODE_WORLDMAP;
    ASSERT_TRUE(m_app->InitInstance());

    EXPECT_EQ(m_app->m_recentFileList.GetSize(), 1);
    EXPECT_EQ(m_app->m_recentFileList[0], path);
    EXPECT_EQ(m_app->m_nNumPreviewPages, 0);
    EXPECT_EQ(g_nBaudRate, 4800);
    EXPECT_EQ(g_nUpdateMs, 1000);
    EXPECT_EQ(g_bShowAtStatusLine, 1);
    EXPECT_EQ(ActiveView()->m_nMode, DOCMODE_WORLDMAP);
    const QSettings profile;
    EXPECT_EQ(profile.allKeys(), QStringList{"Recent File List/File1"});
}

// ---- Keys, bars and prompts ----

TEST_F(ShellTest, SaveAndTheEditAndPaneKeysLeaveTheMapAlone) {
    const QString path = WriteMap("a.bmp");
    const std::string before = ReadFileBytes(path.toStdString());
    m_app->OpenDocumentFile(path);
    const auto dialog =
        AnswerNextModal([](QWidget* modal) { modal->close(); }, {.required = false});
    for (const QKeySequence& keys :
         {QKeySequence(Qt::CTRL | Qt::Key_S), QKeySequence(Qt::CTRL | Qt::Key_Z),
          QKeySequence(Qt::ALT | Qt::Key_Backspace), QKeySequence(Qt::CTRL | Qt::Key_X),
          QKeySequence(Qt::SHIFT | Qt::Key_Delete), QKeySequence(Qt::CTRL | Qt::Key_C),
          QKeySequence(Qt::CTRL | Qt::Key_Insert), QKeySequence(Qt::CTRL | Qt::Key_V),
          QKeySequence(Qt::SHIFT | Qt::Key_Insert), QKeySequence(Qt::Key_F6),
          QKeySequence(Qt::SHIFT | Qt::Key_F6)})
        Press(keys);
    QApplication::processEvents();
    EXPECT_FALSE(*dialog);
    EXPECT_FALSE(Frame()->CommandAction(ID_FILE_SAVE)->isEnabled());
    EXPECT_EQ(ReadFileBytes(path.toStdString()), before);
    EXPECT_EQ(Windows().size(), 2);
}

TEST_F(ShellTest, TheViewMenuShowsAndHidesTheBars) {
    Frame()->show();
    for (int id : {ID_VIEW_TOOLBAR, ID_VIEW_STATUS_BAR}) {
        QWidget* bar = id == ID_VIEW_TOOLBAR ? static_cast<QWidget*>(&Frame()->m_wndToolBar)
                                             : &Frame()->m_wndStatusBar;
        QAction* action = Frame()->CommandAction(id);
        EXPECT_TRUE(action->isChecked()) << id;
        action->trigger();
        EXPECT_FALSE(bar->isVisible()) << id;
        EXPECT_FALSE(action->isChecked()) << id;
        action->trigger();
        EXPECT_TRUE(bar->isVisible()) << id;
        EXPECT_TRUE(action->isChecked()) << id;
    }
}

TEST_F(ShellTest, PointingAtAButtonOrAMenuItemShowsItsPrompt) {
    Frame()->show();
    EXPECT_EQ(Frame()->GetMessageText(), " ");
    QWidget* button = Frame()->m_wndToolBar.widgetForAction(Frame()->CommandAction(ID_FILE_OPEN));
    ASSERT_NE(button, nullptr);
    QEnterEvent enter(QPointF(2, 2), QPointF(2, 2), QPointF(2, 2));
    QApplication::sendEvent(button, &enter);
    EXPECT_EQ(Frame()->GetMessageText(), "Open a map file");
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(button, &leave);
    EXPECT_EQ(Frame()->GetMessageText(), " ");

    QMenu* view = Menu("&View");
    view->popup(QPoint(0, 0));
    ASSERT_TRUE(QTest::qWaitForWindowExposed(view));
    QAction* route = Frame()->CommandAction(ID_SHOW_ROUTE_LINE);
    QTest::mouseMove(view, view->actionGeometry(route).center());
    EXPECT_EQ(Frame()->GetMessageText(), "Show Route Line");
    view->hide();
    EXPECT_EQ(Frame()->GetMessageText(), " ");
}

// ---- Printing ----

// A map of 200 x 100 green pixels shown whole, with both calibration
// points marked on it: the markers are drawn through client contexts.
class ShellPrintTest : public ShellTest {
protected:
    void SetUp() override {
        ShellTest::SetUp();
        m_app->OpenDocumentFile(WriteMap("field.bmp", 200, 100));
        view = ActiveView();
        ASSERT_NE(view, nullptr);
        SetClientSize(view, 200, 100);
        view->m_cal = CMapCalibration{true, true, 50, 50, 0, 0, 150, 50, 100, 0};
        view->RedrawWindow();
        m_app->GetPrinter().setOutputFormat(QPrinter::PdfFormat);
        m_app->GetPrinter().setOutputFileName(m_workDir.filePath("page.pdf"));
    }

    // The first page of the PDF as a picture, or a null image when the
    // renderer is not installed.
    QImage RenderPage() {
        if (QStandardPaths::findExecutable("pdftoppm").isEmpty())
            return {};
        const QString out = m_workDir.filePath("page");
        EXPECT_EQ(QProcess::execute("pdftoppm", {"-r", "50", "-png", "-singlefile",
                                                 m_workDir.filePath("page.pdf"), out}),
                  0);
        return QImage(out + ".png").convertToFormat(QImage::Format_RGB32);
    }

    COstrelView* view = nullptr;
};

bool IsGreen(QRgb c) {
    return qGreen(c) > 100 && qRed(c) < 60 && qBlue(c) < 60;
}
bool IsDark(QRgb c) {
    return qRed(c) < 60 && qGreen(c) < 60 && qBlue(c) < 60;
}

TEST_F(ShellPrintTest, APrintedMapCarriesItsOverlaysScaledToThePage) {
    ASSERT_TRUE(PrintView(*view, m_app->GetPrinter()));
    const std::string pdf = ReadFileBytes(m_workDir.filePath("page.pdf").toStdString());
    ASSERT_GT(pdf.size(), 1000u);
    EXPECT_EQ(pdf.substr(0, 5), "%PDF-");

    const QImage page = RenderPage();
    if (page.isNull())
        GTEST_SKIP() << "pdftoppm is not installed";
    // The map's area on the page, and the dark marker pixels inside it.
    QRect map;
    int dark = 0;
    for (int y = 0; y < page.height(); ++y)
        for (int x = 0; x < page.width(); ++x)
            if (IsGreen(page.pixel(x, y)))
                map |= QRect(x, y, 1, 1);
    ASSERT_FALSE(map.isEmpty()) << "no map on the page";
    for (int y = map.top(); y <= map.bottom(); ++y)
        for (int x = map.left(); x <= map.right(); ++x)
            dark += IsDark(page.pixel(x, y));
    EXPECT_GT(map.width(), page.width() / 2) << "the map is scaled up to the page";
    EXPECT_NEAR(double(map.width()) / map.height(), 2.0, 0.1);
    EXPECT_GT(dark, 20) << "the calibration markers are missing";
}

TEST_F(ShellPrintTest, CtrlPPrintsThroughThePrintDialog) {
    AnswerNextModal<QPrintDialog>(
        [](QPrintDialog* dialog) {
            bool preview = false;
            for (QPushButton* button : dialog->findChildren<QPushButton*>())
                preview = preview || button->text() == "Pre&view...";
            EXPECT_TRUE(preview) << "the dialog offers the preview";
            dialog->accept();
        },
        kWaitForDialog);
    Press(QKeySequence(Qt::CTRL | Qt::Key_P));
    EXPECT_GT(ReadFileBytes(m_workDir.filePath("page.pdf").toStdString()).size(), 1000u);
}

TEST_F(ShellPrintTest, ThePreviewShowsThePageAndRemembersItsPageCount) {
    AnswerNextModal<QPrintDialog>(
        [](QPrintDialog* dialog) {
            for (QPushButton* button : dialog->findChildren<QPushButton*>())
                if (button->text() == "Pre&view...")
                    button->click();
        },
        kWaitForDialog);
    AnswerNextModal<QPrintPreviewDialog>(
        [](QPrintPreviewDialog* dialog) {
            auto* preview = dialog->findChild<QPrintPreviewWidget*>();
            ASSERT_NE(preview, nullptr);
            EXPECT_EQ(preview->pageCount(), 1);
            preview->setViewMode(QPrintPreviewWidget::FacingPagesView);
            dialog->close();
        },
        kWaitForDialog);
    Frame()->RouteCommand(ID_FILE_PRINT);
    EXPECT_EQ(m_app->m_nNumPreviewPages, 2);
    EXPECT_EQ(GetProfilePreviewPages(), 2);

    AnswerNextModal<QPageSetupDialog>([](QPageSetupDialog* dialog) { dialog->reject(); },
                                      kWaitForDialog);
    Frame()->RouteCommand(ID_FILE_PRINT_SETUP);
}

// ---- About and help ----

TEST_F(ShellTest, AboutBoxAndHelpOpenFromTheirCommands) {
    EXPECT_FALSE(QApplication::windowIcon().isNull());
    AnswerNextModal<CDia_About>(
        [](CDia_About* dialog) {
            EXPECT_EQ(dialog->windowTitle(), "About Ostrel");
            dialog->accept();
        },
        kWaitForDialog);
    Item(Menu("&Help"), "&About Ostrel...")->trigger();

    Press(QKeySequence(Qt::Key_F1));
    auto* help = Frame()->findChild<CHelpWindow*>();
    ASSERT_NE(help, nullptr);
    EXPECT_TRUE(help->isVisible());
    help->close();
    Item(Menu("&Help"), "&Help Topics")->trigger();
    EXPECT_TRUE(help->isVisible());
    help->close();

    Press(QKeySequence(Qt::SHIFT | Qt::Key_F1));
    EXPECT_TRUE(QWhatsThis::inWhatsThisMode());
    QWhatsThis::leaveWhatsThisMode();
}

} // namespace
