#include "app/help_window.h"
#include "app/menu_table.h"
#include "app/shell_resources.h"

#include <QAction>
#include <QApplication>
#include <QDirIterator>
#include <QFile>
#include <QRegularExpression>
#include <QSet>
#include <QTest>
#include <QTextBrowser>
#include <QWhatsThis>
#include <gtest/gtest.h>

void PrintTo(const QUrl& url, std::ostream* os) {
    *os << url.toString().toStdString();
}

namespace {

QString ReadResource(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

QStringList HelpPages() {
    InitShellResources();
    QStringList pages;
    QDirIterator it(QStringLiteral(":/help"), {QStringLiteral("*.html")});
    while (it.hasNext())
        pages << it.next().section('/', -1);
    pages.sort();
    return pages;
}

class HelpWindowTest : public ::testing::Test {
protected:
    void TearDown() override {
        for (QWidget* widget : QApplication::topLevelWidgets())
            widget->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        EXPECT_TRUE(QApplication::topLevelWidgets().isEmpty()) << "a window was left behind";
    }

    static QAction* Action(CHelpWindow* window, const char* text) {
        for (QAction* action : window->findChildren<QAction*>()) {
            if (action->text() == QLatin1String(text))
                return action;
        }
        ADD_FAILURE() << "no action " << text;
        return nullptr;
    }
};

TEST_F(HelpWindowTest, OpensOnTheIndexWithItsTitle) {
    CHelpWindow* window = ShowHelp(nullptr);
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->Browser()->source(), QUrl("qrc:/help/index.html"));
    EXPECT_EQ(window->Browser()->documentTitle(), "Ostrel Help");
    EXPECT_EQ(window->windowTitle(), "Ostrel Help");
    EXPECT_TRUE(window->Browser()->toPlainText().contains("Contents"));

    // Asking again reuses the window and names the page in the title.
    EXPECT_EQ(ShowHelp(nullptr, "maps.html#calibrate"), window);
    EXPECT_EQ(window->Browser()->source(), QUrl("qrc:/help/maps.html#calibrate"));
    EXPECT_EQ(window->windowTitle(), "Opening and calibrating a map - Ostrel Help");
    EXPECT_TRUE(window->Browser()->toPlainText().contains(QString::fromUtf8("LON:   9° 23.85' E")));
}

TEST_F(HelpWindowTest, BackForwardAndHomeMoveThroughTheHistory) {
    CHelpWindow* window = ShowHelp(nullptr);
    QTextBrowser* browser = window->Browser();
    QAction* back = Action(window, "Back");
    QAction* forward = Action(window, "Forward");
    QAction* home = Action(window, "Home");
    ASSERT_TRUE(back && forward && home);
    EXPECT_FALSE(back->isEnabled());
    EXPECT_FALSE(forward->isEnabled());

    // Follow the first link of the index from the keyboard, then another page.
    QTest::keyClick(browser, Qt::Key_Tab);
    QTest::keyClick(browser, Qt::Key_Return);
    EXPECT_EQ(browser->source(), QUrl("qrc:/help/receiver.html"));
    window->ShowPage("windows.html#properties");
    EXPECT_EQ(browser->source(), QUrl("qrc:/help/windows.html#properties"));
    EXPECT_TRUE(back->isEnabled());

    back->trigger();
    EXPECT_EQ(browser->source(), QUrl("qrc:/help/receiver.html"));
    EXPECT_TRUE(forward->isEnabled());
    back->trigger();
    EXPECT_EQ(browser->source(), QUrl("qrc:/help/index.html"));
    EXPECT_FALSE(back->isEnabled());

    forward->trigger();
    EXPECT_EQ(browser->source(), QUrl("qrc:/help/receiver.html"));
    EXPECT_EQ(window->windowTitle(), "Connecting a receiver - Ostrel Help");

    home->trigger();
    EXPECT_EQ(browser->source(), QUrl("qrc:/help/index.html"));
    EXPECT_FALSE(forward->isEnabled());
}

TEST_F(HelpWindowTest, EveryLinkReachesAnExistingPageAndAnchor) {
    const QStringList pages = HelpPages();
    ASSERT_TRUE(pages.contains("index.html")) << pages.join(' ').toStdString();
    static const QRegularExpression href(QStringLiteral("href=\"([^\"]*)\""));
    QSet<QString> linked{QStringLiteral("index.html")};
    for (const QString& page : pages) {
        const QString html = ReadResource(":/help/" + page);
        EXPECT_TRUE(html.contains("<title>")) << page.toStdString();
        for (const QRegularExpressionMatch& m : href.globalMatch(html)) {
            const QString link = m.captured(1);
            if (link.startsWith("http://") || link.startsWith("https://"))
                continue;
            SCOPED_TRACE((page + " links to " + link).toStdString());
            const QString file = link.section('#', 0, 0).isEmpty() ? page : link.section('#', 0, 0);
            const QString anchor = link.section('#', 1);
            ASSERT_TRUE(QFile::exists(":/help/" + file));
            linked.insert(file);
            if (!anchor.isEmpty()) {
                EXPECT_TRUE(ReadResource(":/help/" + file).contains("name=\"" + anchor + "\""));
            }
        }
    }
    for (const QString& page : pages)
        EXPECT_TRUE(linked.contains(page)) << page.toStdString() << " is linked from nowhere";
}

TEST_F(HelpWindowTest, ShiftF1EntersWhatsThisMode) {
    EnterContextHelpMode();
    EXPECT_TRUE(QWhatsThis::inWhatsThisMode());
    QWhatsThis::leaveWhatsThisMode();
    EXPECT_FALSE(QWhatsThis::inWhatsThisMode());
}

TEST(ShellResources, FourToolbarButtonsInOrderEachWithA16By16Image) {
    EXPECT_EQ(std::vector<int>(std::begin(kToolbarButtons), std::end(kToolbarButtons)),
              std::vector<int>(
                  {ID_FILE_OPEN, ID_SHOW_ROUTE_LINE, ID_SHOW_PROPERTIES, 0, ID_SHOW_GPS_DATA}));
    QSet<QByteArray> distinct;
    for (int id : kToolbarButtons) {
        if (id == 0)
            continue;
        const QIcon icon = ToolbarIcon(id);
        ASSERT_FALSE(icon.isNull()) << "id " << id;
        const QImage image = icon.pixmap(16, 16).toImage();
        EXPECT_EQ(image.size(), QSize(16, 16)) << "id " << id;
        EXPECT_EQ(icon.availableSizes(), QList<QSize>({QSize(16, 16)})) << "id " << id;
        distinct.insert(
            QByteArray(reinterpret_cast<const char*>(image.constBits()), image.sizeInBytes()));
    }
    EXPECT_EQ(distinct.size(), 4) << "two buttons share an image";
    EXPECT_TRUE(ToolbarIcon(ID_SHOW_WORLD_MAP).isNull());
}

TEST(ShellResources, ProgramIconIsBuiltIn) {
    EXPECT_FALSE(ProgramIcon().pixmap(64, 64).isNull());
}

} // namespace
