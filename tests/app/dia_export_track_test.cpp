#include "app/dia_export_track.h"
#include "platform/message_box.h"
#include "tests/modal_driver.h"
#include "tests/test_support.h"
#include "track/marks.h"

#include <QCheckBox>
#include <QDir>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <fstream>
#include <gtest/gtest.h>

namespace {

constexpr int64_t kDay = 1796688000000; // 2026-12-08T00:00:00Z [ms]

// A journal of `days` days from kDay, three points each.
void WriteDays(const std::string& folder, int days) {
    CTrackJournal journal(folder);
    for (int64_t day = 0; day < days; ++day)
        for (int64_t i = 0; i < 3; ++i) {
            TrackPoint p;
            p.timeMs = kDay + day * 86400000 + i * 1000;
            p.latitude = 37;
            p.longitude = 23;
            ASSERT_EQ(journal.Append(p, 0), "");
        }
}

// Marks are written only when asked for, and then every one of them.
TEST(ExportTrackDialog, IncludesTheMarksWhenAsked) {
    TempDir dir;
    const std::string folder = (dir.Path() / "track").string();
    WriteDays(folder, 1);
    const std::string marks = (dir.Path() / "marks.gpx").string();
    ASSERT_EQ(AppendMark(marks, MarkOfFix({23.5, 37.5}, {}, kDay), "Ostrel test"), "");
    for (const bool include : {false, true}) {
        const QString out = QString::fromStdString((dir.Path() / "out.gpx").string());
        AnswerNextModal([&](QWidget* dialog) {
            dialog->findChild<QCheckBox*>("IDC_INCLUDE_MARKS")->setChecked(include);
            dialog->findChild<QLineEdit*>("IDC_GPX_FILE")->setText(out);
            QTest::mouseClick(dialog->findChild<QPushButton*>("IDOK"), Qt::LeftButton);
        });
        std::filesystem::remove(out.toStdString());
        CDia_ExportTrack dialog(folder, "Ostrel test", nullptr, marks);
        EXPECT_EQ(dialog.DoModal(), IDOK);
        const std::string gpx = ReadFileBytes(out.toStdString());
        EXPECT_EQ(gpx.find("<wpt lat=\"37.5000000\" lon=\"23.5000000\">") != std::string::npos,
                  include)
            << gpx;
    }
}

// The dialog must list each recorded day, refuse to write without a chosen
// day, and write the days chosen, no more.
TEST(ExportTrackDialog, WritesTheChosenDaysOnly) {
    TempDir dir;
    const std::string folder = (dir.Path() / "track").string();
    WriteDays(folder, 2);
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

// The file name stayed the newest day's whatever days were chosen; it must
// follow the choice until the user names the file, then keep that name.
TEST(ExportTrackDialog, TheSuggestedNameFollowsTheChosenDays) {
    TempDir dir;
    const std::string folder = (dir.Path() / "track").string();
    WriteDays(folder, 3);
    AnswerNextModal([](QWidget* dialog) {
        auto* list = dialog->findChild<QListWidget*>("IDC_TRACK_DAYS");
        auto* file = dialog->findChild<QLineEdit*>("IDC_GPX_FILE");
        const auto suggested = [](const char* days) {
            return QDir::home().filePath(QStringLiteral("track-%1.gpx").arg(days));
        };
        EXPECT_EQ(file->text(), suggested("2026-12-10"));
        list->clearSelection();
        EXPECT_EQ(file->text(), suggested("2026-12-10")) << "no day chosen";
        list->item(0)->setSelected(true);
        EXPECT_EQ(file->text(), suggested("2026-12-08"));
        list->item(1)->setSelected(true);
        EXPECT_EQ(file->text(), suggested("2026-12-08_2026-12-09"));
        file->setText("/tmp/mine.gpx");
        list->item(2)->setSelected(true);
        EXPECT_EQ(file->text(), "/tmp/mine.gpx") << "the user's own name";
        QTest::mouseClick(dialog->findChild<QPushButton*>("IDCANCEL"), Qt::LeftButton);
    });
    CDia_ExportTrack dialog(folder, "Ostrel test");
    EXPECT_EQ(dialog.DoModal(), IDCANCEL);
}

// OK replaced an existing file without asking: it must ask, keep the file
// on No and replace it on Yes.
TEST(ExportTrackDialog, OkAsksBeforeItReplacesAFile) {
    TempDir dir;
    const std::string folder = (dir.Path() / "track").string();
    WriteDays(folder, 1);
    const std::string out = (dir.Path() / "out.gpx").string();
    std::ofstream(out) << "kept";
    QStringList questions;
    AnswerNextModal([&](QWidget* dialog) {
        dialog->findChild<QLineEdit*>("IDC_GPX_FILE")->setText(QString::fromStdString(out));
        for (const auto answer : {QMessageBox::No, QMessageBox::Yes}) {
            AnswerNextModal<QMessageBox>(
                [&](QMessageBox* box) {
                    questions << box->text();
                    box->button(answer)->click();
                },
                ModalWait{2000});
            QTest::mouseClick(dialog->findChild<QPushButton*>("IDOK"), Qt::LeftButton);
            if (answer == QMessageBox::No) {
                EXPECT_TRUE(dialog->isVisible());
                EXPECT_EQ(ReadFileBytes(out), "kept");
            }
        }
    });
    CDia_ExportTrack dialog(folder, "Ostrel test");
    EXPECT_EQ(dialog.DoModal(), IDOK);
    EXPECT_EQ(questions, QStringList(2, QString::fromStdString(
                                            "\"" + out + "\" exists. Do you want to replace it?")));
    EXPECT_NE(ReadFileBytes(out).find("<time>2026-12-08T00:00:02Z</time>"), std::string::npos);
}

} // namespace
