// The real program under a virtual X server, reading a receiver on a
// pseudo-terminal: what a person would see, checked on a screenshot.

#include <QColor>
#include <QImage>
#include <chrono>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <pty.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

// The resources sit in a static library; a program must pull them in by name.
static void InitResources() {
    Q_INIT_RESOURCE(ostrel);
}

namespace {

using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

const char* kRmc = "$GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W*6A\r\n";
constexpr int kMarkerX = 285; // Munich on the world picture [map pixel]
constexpr int kMarkerY = 103;

std::string FindProgram(const char* name) {
    for (const char* dir : {"/usr/bin", "/bin", "/usr/local/bin"}) {
        const fs::path p = fs::path(dir) / name;
        if (access(p.c_str(), X_OK) == 0)
            return p;
    }
    return {};
}

// Starts `argv` in a session of its own with `env`; the process id, or -1.
pid_t Spawn(const std::vector<std::string>& argv, const std::vector<std::string>& env) {
    std::vector<char*> a, e;
    for (const std::string& s : argv)
        a.push_back(const_cast<char*>(s.c_str()));
    a.push_back(nullptr);
    for (const std::string& s : env)
        e.push_back(const_cast<char*>(s.c_str()));
    e.push_back(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        setsid();
        execve(a[0], a.data(), e.data());
        _exit(127);
    }
    return pid;
}

// Waits up to `ms` for `pid` to end; true when it has.
bool WaitFor(pid_t pid, int ms) {
    const auto end = Clock::now() + std::chrono::milliseconds(ms);
    while (Clock::now() < end) {
        if (waitpid(pid, nullptr, WNOHANG) == pid)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
}

// The offset of the world picture inside `shot`, found by comparing a grid
// of its pixels (away from the marker); (-1, -1) when it is not there whole.
QPoint FindPicture(const QImage& shot, const QImage& picture) {
    std::vector<QPoint> samples;
    for (int y = 0; y < picture.height(); y += 7)
        for (int x = 0; x < picture.width(); x += 11)
            if (std::abs(x - kMarkerX) > 10 || std::abs(y - kMarkerY) > 10)
                samples.emplace_back(x, y);
    for (int oy = 0; oy + picture.height() <= shot.height(); ++oy) {
        for (int ox = 0; ox + picture.width() <= shot.width(); ++ox) {
            bool match = true;
            for (const QPoint& s : samples) {
                if (shot.pixel(ox + s.x(), oy + s.y()) != picture.pixel(s)) {
                    match = false;
                    break;
                }
            }
            if (match)
                return {ox, oy};
        }
    }
    return {-1, -1};
}

struct Session {
    pid_t xvfbRun = -1;
    fs::path dir;
    ~Session() {
        if (xvfbRun > 0) {
            // Ending the program lets xvfb-run take its server down and tidy up.
            std::ifstream info(dir / "info");
            pid_t program = -1;
            if (info >> program && program > 0)
                kill(program, SIGTERM);
            if (!WaitFor(xvfbRun, 10000)) {
                kill(-xvfbRun, SIGKILL);
                waitpid(xvfbRun, nullptr, 0);
            }
        }
        std::error_code ec;
        fs::remove_all(dir, ec);
    }
};

TEST(Screenshot, TheWorldMapMarkerFollowsTheReceiver) {
    const std::string xvfbRun = FindProgram("xvfb-run");
    const std::string import = FindProgram("import");
    if (xvfbRun.empty() || import.empty())
        GTEST_SKIP() << "xvfb-run or ImageMagick's import is not installed";

    InitResources();
    const QImage picture =
        QImage(QStringLiteral(":/world_map.bmp")).convertToFormat(QImage::Format_RGB32);
    ASSERT_FALSE(picture.isNull());

    int master = -1, slave = -1;
    char name[256] = {};
    ASSERT_EQ(openpty(&master, &slave, name, nullptr, nullptr), 0);

    Session session;
    char dirTemplate[] = "/tmp/ostrel-shot-XXXXXX";
    ASSERT_NE(mkdtemp(dirTemplate), nullptr);
    session.dir = dirTemplate;
    const fs::path info = session.dir / "info";
    const fs::path shotPath = session.dir / "shot.png";

    std::vector<std::string> env = {"PATH=/usr/bin:/bin", "HOME=" + session.dir.string(),
                                    "ASAN_OPTIONS=detect_leaks=0"};
    const std::string script = "echo $$ $DISPLAY $XAUTHORITY > '" + info.string() +
                               "'; exec '" OSTREL_PROGRAM "' --port \"$0\"";
    session.xvfbRun =
        Spawn({xvfbRun, "-a", "-s", "-screen 0 1024x768x24", "/bin/sh", "-c", script, name}, env);
    ASSERT_GT(session.xvfbRun, 0);

    pid_t program = -1;
    std::string display, xauthority;
    bool found = false;
    QPoint origin(-1, -1);
    QImage shot;
    const auto deadline = Clock::now() + std::chrono::seconds(60);
    while (!found && Clock::now() < deadline) {
        ASSERT_EQ(write(master, kRmc, strlen(kRmc)), ssize_t(strlen(kRmc)));
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        if (display.empty()) {
            std::ifstream in(info);
            in >> program >> display >> xauthority;
            continue;
        }
        const pid_t grab =
            Spawn({import, "-display", display, "-window", "root", shotPath.string()},
                  {"PATH=/usr/bin:/bin", "XAUTHORITY=" + xauthority});
        ASSERT_TRUE(WaitFor(grab, 20000));
        if (!shot.load(QString::fromStdString(shotPath.string())))
            continue;
        shot = shot.convertToFormat(QImage::Format_RGB32);
        origin = FindPicture(shot, picture);
        if (origin.x() < 0)
            continue;
        const QPoint centre = origin + QPoint(kMarkerX, kMarkerY);
        found = QColor(shot.pixel(centre + QPoint(-4, -4))) == QColor(255, 0, 0) &&
                QColor(shot.pixel(centre + QPoint(3, 3))) == QColor(255, 0, 0) &&
                QColor(shot.pixel(centre)) == QColor(255, 255, 255);
    }
    close(master);
    close(slave);
    ASSERT_FALSE(display.empty()) << "the program did not start under xvfb-run";
    ASSERT_GE(origin.x(), 0) << "no world picture on the screen";
    EXPECT_TRUE(found) << "no red marker at picture pixel (" << kMarkerX << ", " << kMarkerY << ")";
}

} // namespace
