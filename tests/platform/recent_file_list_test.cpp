#include "platform/profile.h"
#include "platform/recent_file_list.h"

#include <QAction>
#include <QDir>
#include <QMenu>
#include <QSettings>
#include <QTemporaryDir>
#include <gtest/gtest.h>

// Readable failure messages for paths and lists of them.
void PrintTo(const QString& text, std::ostream* os) {
    *os << '"' << text.toStdString() << '"';
}

namespace {

// Every test gets a profile of its own in a temporary folder.
class RecentFileListTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_dir.isValid());
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_dir.path());
    }

    static QStringList Paths(const CRecentFileList& list) {
        QStringList paths;
        for (int i = 0; i < list.GetSize(); ++i)
            paths << list[i];
        return paths;
    }

    QTemporaryDir m_dir;
};

TEST_F(RecentFileListTest, NewestFirstAndReopeningMovesToFront) {
    CRecentFileList list;
    list.Add("/maps/a.bmp");
    list.Add("/maps/b.bmp");
    list.Add("/maps/c.bmp");
    EXPECT_EQ(Paths(list), QStringList({"/maps/c.bmp", "/maps/b.bmp", "/maps/a.bmp"}));

    list.Add("/maps/a.bmp");
    EXPECT_EQ(Paths(list), QStringList({"/maps/a.bmp", "/maps/c.bmp", "/maps/b.bmp"}));

    // Letter case matters on this file system; spelling variants of one path do not.
    list.Add("/maps/B.bmp");
    list.Add("/maps/./x/../c.bmp");
    EXPECT_EQ(Paths(list),
              QStringList({"/maps/c.bmp", "/maps/B.bmp", "/maps/a.bmp", "/maps/b.bmp"}));

    list.Add("");
    EXPECT_EQ(list.GetSize(), 4);

    list.Add("city.bmp");
    EXPECT_EQ(list[0], QDir::current().absoluteFilePath("city.bmp"));
}

TEST_F(RecentFileListTest, EleventhFilePushesOutTheOldest) {
    CRecentFileList list;
    for (int i = 1; i <= 11; ++i)
        list.Add(QStringLiteral("/maps/%1.bmp").arg(i));
    ASSERT_EQ(list.GetSize(), CRecentFileList::kMaxEntries);
    EXPECT_EQ(list[0], "/maps/11.bmp");
    EXPECT_EQ(list[9], "/maps/2.bmp");

    // Moving an entry to the front of a full list drops nothing.
    list.Add("/maps/2.bmp");
    EXPECT_EQ(list.GetSize(), 10);
    EXPECT_EQ(list[9], "/maps/3.bmp");
}

TEST_F(RecentFileListTest, RemoveDropsOneEntry) {
    CRecentFileList list;
    list.Add("/maps/a.bmp");
    list.Add("/maps/b.bmp");
    list.Remove("/maps/a.bmp");
    list.Remove("/maps/never.bmp");
    EXPECT_EQ(Paths(list), QStringList({"/maps/b.bmp"}));

    CRecentFileList restarted;
    restarted.ReadList();
    EXPECT_EQ(Paths(restarted), QStringList({"/maps/b.bmp"}));
}

TEST_F(RecentFileListTest, RestartKeepsTheListAndNothingOfTheSettings) {
    {
        CRecentFileList list;
        for (int i = 1; i <= 12; ++i)
            list.Add(QStringLiteral("/maps/%1.bmp").arg(i));
    }

    const QSettings profile;
    QStringList expectedKeys;
    for (int i = 1; i <= 10; ++i)
        expectedKeys << QStringLiteral("Recent File List/File%1").arg(i);
    QStringList keys = profile.allKeys();
    keys.sort();
    expectedKeys.sort();
    EXPECT_EQ(keys, expectedKeys) << keys.join(' ').toStdString();
    EXPECT_EQ(profile.value("Recent File List/File1").toString(), "/maps/12.bmp");
    // Catches a changed program identity moving the profile: people would
    // lose their recent files on an update.
    EXPECT_EQ(profile.fileName(), m_dir.filePath("Kelvane/Ostrel.conf"));

    CRecentFileList restarted;
    restarted.ReadList();
    ASSERT_EQ(restarted.GetSize(), 10);
    EXPECT_EQ(restarted[0], "/maps/12.bmp");
    EXPECT_EQ(restarted[9], "/maps/3.bmp");
}

TEST_F(RecentFileListTest, ReadingSkipsGapsAndRepeatsAndFindsPreviewPages) {
    EXPECT_EQ(GetProfilePreviewPages(), 0);
    CRecentFileList list;
    list.Add("/maps/stale.bmp");
    {
        QSettings profile;
        profile.setValue("Recent File List/File1", "/maps/a.bmp");
        profile.setValue("Recent File List/File3", "/maps/b.bmp");
        profile.setValue("Recent File List/File4", "/maps/a.bmp");
        profile.setValue("Recent File List/File11", "/maps/beyond.bmp");
        profile.setValue("Settings/PreviewPages", 2);
    }
    list.ReadList();
    EXPECT_EQ(Paths(list), QStringList({"/maps/a.bmp", "/maps/b.bmp"}));
    EXPECT_EQ(GetProfilePreviewPages(), 2);
}

struct AbbreviationCase {
    const char* path;
    const char* shown;
};

TEST(RecentFileAbbreviation, KeepsTheNameWholeAndDropsMiddleDirectories) {
    const AbbreviationCase cases[] = {
        // Fits: unchanged (30 characters exactly).
        {"/home/anna/maps/alps/zermatt.b", "/home/anna/maps/alps/zermatt.b"},
        {"/home/anna/maps/alps/zermatt.bmp", "/home/.../alps/zermatt.bmp"},
        {"/home/anna/maps/scans/2024/alps/matterhorn.bmp", "/home/.../alps/matterhorn.bmp"},
        {"/home/anna/maps/scans/2024/alps/m.bmp", "/home/.../2024/alps/m.bmp"},
        // Only the head, "/..." and the name fit.
        {"/home/anna/maps/scans/eiger-nordwand.bmp", "/home/.../eiger-nordwand.bmp"},
        // Not even that: the name alone.
        {"/home/anna/maps/scans/jungfraujoch-north.bmp", "jungfraujoch-north.bmp"},
        {"/home/anna/a-name-of-exactly-thirty-chars", "a-name-of-exactly-thirty-chars"},
        {"/home/anna/a-name-longer-than-thirty-characters.bmp",
         "a-name-longer-than-thirty-characters.bmp"},
        // The first directory is the file's own: nothing to drop.
        {"/verylongdirectoryname/scan.bmp", "scan.bmp"},
        {"/a-file-in-the-root-with-a-long-name.bmp", "a-file-in-the-root-with-a-long-name.bmp"},
        {"/media/x/scan.bmp", "/media/x/scan.bmp"},
    };
    for (const AbbreviationCase& c : cases) {
        const QString shown = AbbreviateName(QString::fromUtf8(c.path), 30);
        EXPECT_EQ(shown.toStdString(), c.shown) << "path " << c.path;
        EXPECT_TRUE(shown.size() <= 30 || !shown.contains('/')) << "path " << c.path;
    }
}

TEST_F(RecentFileListTest, DisplayNameDropsTheCurrentDirectory) {
    CRecentFileList list;
    list.Add("/home/anna/maps/scans/2024/alps/matterhorn.bmp");
    EXPECT_EQ(list.GetDisplayName(0, "/home/anna/maps/scans/2024/alps"), "matterhorn.bmp");
    EXPECT_EQ(list.GetDisplayName(0, "/home/anna/maps/scans/2024/alps/"), "matterhorn.bmp");
    EXPECT_EQ(list.GetDisplayName(0, "/home/anna/maps/scans/2024"),
              "/home/.../alps/matterhorn.bmp");
    EXPECT_EQ(list.GetDisplayName(0, "/home/anna/maps/scans/2024/al"),
              "/home/.../alps/matterhorn.bmp");
}

// The File menu as the main frame builds it: the section lies between two separators.
struct FileMenu {
    FileMenu() {
        open = menu.addAction("&Open map...\tCtrl+O");
        menu.addSeparator();
        end = menu.addSeparator();
        exit = menu.addAction("E&xit");
    }
    QStringList Texts() const {
        QStringList texts;
        for (const QAction* action : menu.actions())
            texts << (action->isSeparator() ? QStringLiteral("-") : action->text());
        return texts;
    }
    QMenu menu;
    QAction* open;
    QAction* end;
    QAction* exit;
};

TEST_F(RecentFileListTest, EmptyListShowsGreyedPlaceholderInTheSection) {
    CRecentFileList list;
    FileMenu file;
    list.UpdateMenu(&file.menu, file.end, [](const QString&) {});
    EXPECT_EQ(file.Texts(),
              QStringList({"&Open map...\tCtrl+O", "-", "Recent File", "-", "E&xit"}));
    EXPECT_FALSE(file.menu.actions()[2]->isEnabled());

    // Emptied again, the list goes back to the placeholder.
    list.Add("/maps/a.bmp");
    list.UpdateMenu(&file.menu, file.end, [](const QString&) {});
    EXPECT_EQ(file.Texts()[2], "&1 /maps/a.bmp");
    list.Remove("/maps/a.bmp");
    list.UpdateMenu(&file.menu, file.end, [](const QString&) {});
    EXPECT_EQ(file.Texts(),
              QStringList({"&Open map...\tCtrl+O", "-", "Recent File", "-", "E&xit"}));
    EXPECT_FALSE(file.menu.actions()[2]->isEnabled());
}

TEST_F(RecentFileListTest, MenuNumbersEntriesAndOpensTheFullPath) {
    CRecentFileList list;
    for (int i = 1; i <= 10; ++i)
        list.Add(QStringLiteral("/maps/%1.bmp").arg(i));
    list.Add("/home/anna/maps/scans/2024/alps/R&D.bmp");

    FileMenu file;
    QString opened;
    const auto open = [&](const QString& path) { opened = path; };
    list.UpdateMenu(&file.menu, file.end, open);
    list.UpdateMenu(&file.menu, file.end, open); // a refresh replaces, never adds

    const QStringList texts = file.Texts();
    ASSERT_EQ(texts.size(), 14) << texts.join('|').toStdString();
    EXPECT_EQ(texts[2], "&1 /home/.../2024/alps/R&&D.bmp");
    EXPECT_EQ(texts[3], "&2 /maps/10.bmp");
    EXPECT_EQ(texts[10], "&9 /maps/3.bmp");
    EXPECT_EQ(texts[11], "1&0 /maps/2.bmp");
    EXPECT_EQ(texts[12], "-");

    file.menu.actions()[2]->trigger();
    EXPECT_EQ(opened, "/home/anna/maps/scans/2024/alps/R&D.bmp");
    file.menu.actions()[11]->trigger();
    EXPECT_EQ(opened, "/maps/2.bmp");
}

} // namespace
