#include "app/dia_export_track.h"
#include "platform/message_box.h"
#include "tests/modal_driver.h"
#include "tests/test_support.h"

#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

namespace {

constexpr int64_t kDay = 1796688000000; // 2026-12-08T00:00:00Z [ms]

// The dialog must list each recorded day, refuse to write without a chosen
// day, and write the days chosen, no more.
TEST(ExportTrackDialog, WritesTheChosenDaysOnly) {
    TempDir dir;
    const std::string folder = (dir.Path() / "track").string();
    {
        CTrackJournal journal(folder);
        for (int64_t day : {0, 1})
            for (int64_t i = 0; i < 3; ++i) {
                TrackPoint p;
                p.timeMs = kDay + day * 86400000 + i * 1000;
                p.latitude = 37;
                p.longitude = 23;
                ASSERT_EQ(journal.Append(p, 0), "");
            }
    }
    QStringList messages;
    SetMessageBoxHook([&messages](const QString& text) { messages << text; });
    const QString out = QString::fromStdString((dir.Path() / "out.gpx").string());
    AnswerNextModal([&out](QWidget* dialog) {
        auto* list = dialog->findChild<QListWidget*>("IDC_TRACK_DAYS");
        ASSERT_NE(list, nullptr);
        ASSERT_EQ(list->count(), 2);
        EXPECT_EQ(list->item(0)->text(), "2026-12-08   3 points   00:00:00 - 00:00:02");
        list->clearSelection();
        QTest::mouseClick(dialog->findChild<QPushButton*>("IDOK"), Qt::LeftButton);
        EXPECT_TRUE(dialog->isVisible()) << "nothing chosen";
        list->item(1)->setSelected(true);
        dialog->findChild<QLineEdit*>("IDC_GPX_FILE")->setText(out);
        QTest::mouseClick(dialog->findChild<QPushButton*>("IDOK"), Qt::LeftButton);
    });
    CDia_ExportTrack dialog(folder, "Ostrel test");
    EXPECT_EQ(dialog.DoModal(), IDOK);
    SetMessageBoxHook({});
    EXPECT_EQ(messages, QStringList{"Select one or more days."});
    const std::string gpx = ReadFileBytes(out.toStdString());
    EXPECT_EQ(gpx.find("2026-12-08T"), std::string::npos);
    EXPECT_NE(gpx.find("<time>2026-12-09T00:00:02Z</time>"), std::string::npos) << gpx;
}

} // namespace
