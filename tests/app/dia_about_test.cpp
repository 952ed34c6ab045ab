#include "app/dia_about.h"
#include "platform/dialog_ids.h"
#include "tests/modal_driver.h"

#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

namespace {

TEST(AboutBox, ShowsNameVersionAndIconAndClosesWithOk) {
    AnswerNextModal([](QWidget* dialog) {
        EXPECT_EQ(dialog->windowTitle(), "About Ostrel");
        QStringList texts;
        bool hasIcon = false;
        for (const QLabel* label : dialog->findChildren<QLabel*>()) {
            texts << label->text();
            hasIcon = hasIcon || !label->pixmap().isNull();
        }
        EXPECT_TRUE(texts.contains("Ostrel Version 1.0")) << texts.join('|').toStdString();
        EXPECT_TRUE(hasIcon);
        auto* ok = dialog->findChild<QPushButton*>("IDOK");
        ASSERT_NE(ok, nullptr);
        EXPECT_TRUE(ok->isDefault());
        QTest::mouseClick(ok, Qt::LeftButton);
    });
    CDia_About about;
    EXPECT_EQ(about.DoModal(), IDOK);

    AnswerNextModal([](QWidget* dialog) { QTest::keyClick(dialog, Qt::Key_Return); });
    EXPECT_EQ(about.DoModal(), IDOK);
}

} // namespace
