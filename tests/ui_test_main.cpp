#include "app/identity_names.h"

#include <QApplication>
#include <QFontDatabase>
#include <QSettings>
#include <QTemporaryDir>
#include <cstdlib>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
    // Discovery runs the binary without the test environment.
    if (!std::getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    // The program's own names, so the profile path is the one it uses.
    ApplyProgramIdentity();
    // No test may touch the person's own profile; those that use one set
    // a folder of their own, and this one catches the rest.
    const QTemporaryDir profile;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, profile.path());
    // Likewise the track journal and the map cache.
    const QTemporaryDir data;
    setenv("XDG_DATA_HOME", qPrintable(data.path() + QStringLiteral("/data")), 1);
    setenv("XDG_CACHE_HOME", qPrintable(data.path() + QStringLiteral("/cache")), 1);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
