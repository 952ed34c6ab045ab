#include "app/settings.h"

#include <QApplication>
#include <QMainWindow>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

void printUsage() {
    std::printf("Usage: ostrel [--port NAME] [--baud N] [MAPFILE]\n"
                "       ostrel --help | --version\n");
}

} // namespace

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0) {
            printUsage();
            return 0;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("Ostrel 1.0.0.1\n");
            return 0;
        }
    }
    QApplication app(argc, argv);
    QMainWindow frame;
    frame.setWindowTitle(QStringLiteral("Ostrel"));
    frame.resize(800, 600);
    frame.show();
    return app.exec();
}
