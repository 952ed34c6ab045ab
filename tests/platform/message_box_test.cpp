#include "platform/message_box.h"

#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetrics>
#include <QGuiApplication>
#include <gtest/gtest.h>

// Without a real font Qt draws boxes and says nothing; every pixel test
// with text depends on this.
TEST(Fonts, ARealFontIsFound) {
    ASSERT_FALSE(QFontDatabase::families().isEmpty());
    const QFont font = QGuiApplication::font();
    QFontMetrics metrics(font);
    EXPECT_TRUE(metrics.inFont(QChar('A')));
    EXPECT_GT(metrics.horizontalAdvance(QStringLiteral("WWW")),
              metrics.horizontalAdvance(QStringLiteral("iii")));
}

TEST(MessageBox, HookReceivesTheLatin1DecodedText) {
    QString seen;
    SetMessageBoxHook([&](const QString& text) { seen = text; });
    ShowMessageBox(nullptr, std::string("LON: 9\xB0"));
    SetMessageBoxHook({});
    EXPECT_EQ(seen, QString::fromUtf8("LON: 9\u00B0"));
}
