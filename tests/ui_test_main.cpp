#include <QApplication>
#include <QFontDatabase>
#include <cstdlib>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
    // Discovery runs the binary without the test environment.
    if (!std::getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Ostrel"));
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
