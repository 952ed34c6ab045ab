#include "app/dia_about.h"
#include "app/dia_properties.h"
#include "map/dia_calibration.h"
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

// Without explicit hints the window manager may add minimise and maximise buttons.
TEST(ModalDialogs, FrameHasOnlyATitleAndACloseButton) {
    CDia_About about;
    CDia_Properties properties;
    CDia_Calibration calibration;
    for (QDialog* dialog : {static_cast<QDialog*>(&about), static_cast<QDialog*>(&properties),
                            static_cast<QDialog*>(&calibration)}) {
        SCOPED_TRACE(dialog->windowTitle().toStdString());
        dialog->show();
        const Qt::WindowFlags flags = dialog->windowFlags();
        EXPECT_EQ(flags & Qt::WindowType_Mask, Qt::Dialog);
        EXPECT_TRUE(flags.testFlags(Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                                    Qt::WindowCloseButtonHint));
        EXPECT_FALSE(flags & (Qt::WindowMinMaxButtonsHint | Qt::WindowContextHelpButtonHint));
        dialog->reject();
    }
}

} // namespace
