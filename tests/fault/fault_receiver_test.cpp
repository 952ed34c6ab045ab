// A receiver that misbehaves, through the real serial path and the main
// frame's poll tick: unplugged and plugged in again, sending without a pause
// at a high rate, sending junk.

#include "app/string_table.h"
#include "platform/message_box.h"
#include "platform/serial_port.h"
#include "tests/app/app_fixture.h"
#include "tests/gps/receiver_test_support.h"
#include "tests/modal_driver.h"

#include <QComboBox>
#include <QPushButton>
#include <QTest>
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <poll.h>
#include <pty.h>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// The "$GPRMC" and "$GPGGA" of second `n` of a made-up drive: time and
// position both step with n, so that every epoch leaves a different fix.
std::string Epoch(int n) {
    char time[16];
    std::snprintf(time, sizeof time, "%02d%02d%02d", n / 3600 % 24, n / 60 % 60, n % 60);
    char lat[16];
    std::snprintf(lat, sizeof lat, "4807.%03d", n % 1000);
    const std::string rmc = std::string("$GPRMC,") + time + ",A," + lat +
                            ",N,01131.000,E,022.4,084.4,230394,003.1,W*6A\r\n";
    const std::string gga = std::string("$GPGGA,") + time + "," + lat +
                            ",N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*47\r\n";
    return rmc + gga;
}

std::string EpochTime(int n) {
    return Epoch(n).substr(7, 6);
}

// CPU time this thread has used [us].
long long ThreadCpuUs() {
    rusage usage{};
    getrusage(RUSAGE_THREAD, &usage);
    return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1000000LL + usage.ru_utime.tv_usec +
           usage.ru_stime.tv_usec;
}

long long ProcessCpuUs() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1000000LL + usage.ru_utime.tv_usec +
           usage.ru_stime.tv_usec;
}

struct Pty {
    int master = -1;
    int slave = -1;
    std::string path;

    bool Open() {
        char name[256] = {};
        if (openpty(&master, &slave, name, nullptr, nullptr) != 0)
            return false;
        path = name;
        return true;
    }
    // Unplugged: no side of the pair is left but the program's own descriptor.
    void Close() {
        for (int* fd : {&master, &slave}) {
            if (*fd >= 0)
                close(*fd);
            *fd = -1;
        }
    }
    ~Pty() { Close(); }
};

// The application with its receiver on a pseudo-terminal reached through a
// symbolic link, the way a USB receiver is reached through a stable name.
class MisbehavingReceiver : public AppTest {
protected:
    void SetUp() override {
        char dir[] = "/tmp/ostrel-fault-XXXXXX";
        ASSERT_NE(mkdtemp(dir), nullptr);
        m_dir = dir;
        m_link = m_dir / "gps";
        ASSERT_TRUE(m_pty.Open());
        PointLinkAt(m_pty.path);
        AppTest::SetUp();
        ASSERT_TRUE(CommIsOpen(g_hComm)) << "the receiver did not open " << m_link;
        SetMessageBoxHook([this](const QString& text) { m_messages << text; });
    }
    void TearDown() override {
        SetMessageBoxHook({});
        AppTest::TearDown();
        m_pty.Close();
        std::filesystem::remove_all(m_dir);
    }
    std::string PortForTest() const override { return m_link.string(); }

    // Swaps the link in one step, as a device manager does.
    void PointLinkAt(const std::string& device) {
        const auto fresh = m_dir / "gps.new";
        std::filesystem::remove(fresh);
        std::filesystem::create_symlink(device, fresh);
        std::filesystem::rename(fresh, m_link);
    }

    void Send(const Pty& pty, const std::string& bytes) {
        ASSERT_EQ(write(pty.master, bytes.data(), bytes.size()), ssize_t(bytes.size()));
    }

    // Waits until what was sent has reached the port, then polls once.
    void SendAndTick(const Pty& pty, const std::string& bytes) {
        Send(pty, bytes);
        pollfd p{g_hComm, POLLIN, 0};
        ASSERT_EQ(poll(&p, 1, 2000), 1);
        std::this_thread::sleep_for(milliseconds(20)); // the whole burst, not its start
        Frame()->OnTimer(1);
    }

    const CGpsFix& Fix() const { return Frame()->m_gps.m_fix; }

    // Commands then reach the main frame's own handlers.
    void CloseDocumentWindows() {
        while (QMdiSubWindow* sub = Frame()->MDIGetActive())
            delete sub;
        ASSERT_EQ(m_app->m_pDocTemplate->GetDocumentCount(), 0u);
    }

    std::filesystem::path m_dir;
    std::filesystem::path m_link;
    Pty m_pty;
    QStringList m_messages;
};

// ---- The receiver goes away and comes back ----

TEST_F(MisbehavingReceiver, VanishesWithoutHangOrSpinAndFlowsAgainByItselfAndAfterProperties) {
    SendAndTick(m_pty, Epoch(1));
    ASSERT_EQ(Fix().m_strTime, EpochTime(1));

    // Unplugged half way through a sentence.
    Send(m_pty, Epoch(2).substr(0, 30));
    m_pty.Close();

    // Each tick on the vanished device returns at once and burns no CPU.
    for (int tick = 0; tick < 20; ++tick) {
        const auto start = Clock::now();
        const long long cpu = ThreadCpuUs();
        Frame()->OnTimer(1);
        EXPECT_LT(ThreadCpuUs() - cpu, 20000) << "tick " << tick;
        EXPECT_LT(Clock::now() - start, milliseconds(200)) << "tick " << tick;
        EXPECT_FALSE(Frame()->m_bBusy);
    }
    EXPECT_EQ(Frame()->m_gps.ReadPort(), "");
    EXPECT_EQ(Fix().m_strTime, EpochTime(1));

    // Left to its timers, the program idles instead of spinning on the dead
    // descriptor.
    const auto wallStart = Clock::now();
    const long long cpuStart = ProcessCpuUs();
    QTest::qWait(2500);
    const long long wallUs =
        std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - wallStart).count();
    EXPECT_LT(ProcessCpuUs() - cpuStart, wallUs / 4);
    EXPECT_EQ(Fix().m_strTime, EpochTime(1));

    // Plugged in again: a new device behind the same name. The ticks open it
    // again within a second or so, without a message, and never block.
    Pty replugged;
    ASSERT_TRUE(replugged.Open());
    PointLinkAt(replugged.path);
    const auto back = Clock::now();
    for (int n = 3; Fix().m_strTime != EpochTime(n - 1) && Clock::now() - back < milliseconds(2000);
         ++n) {
        Send(replugged, Epoch(n));
        std::this_thread::sleep_for(milliseconds(100));
        const auto start = Clock::now();
        Frame()->OnTimer(1);
        EXPECT_LT(Clock::now() - start, milliseconds(200)) << "a tick blocked";
    }
    EXPECT_GT(Fix().m_strTime, EpochTime(2)) << "no data within 2 s of the receiver's return";
    EXPECT_TRUE(m_messages.isEmpty()) << m_messages.join("; ").toStdString();

    // Properties from the main frame (no document window open), OK with the
    // name as it stands: the port is opened again all the same.
    CloseDocumentWindows();
    AnswerNextModal([this](QWidget* dialog) {
        auto* port = dialog->findChild<QComboBox*>("IDC_PORT_NAME");
        ASSERT_NE(port, nullptr);
        EXPECT_EQ(port->currentText().toStdString(), m_link.string());
        QTest::mouseClick(dialog->findChild<QPushButton*>("IDOK"), Qt::LeftButton);
    });
    Frame()->RouteCommand(ID_SHOW_PROPERTIES);
    EXPECT_TRUE(m_messages.isEmpty()) << m_messages.join("; ").toStdString();
    ASSERT_TRUE(CommIsOpen(g_hComm));

    // What was sent before the reopen is stale; what comes now is taken.
    SendAndTick(replugged, Epoch(40));
    EXPECT_EQ(Fix().m_strTime, EpochTime(40));
    EXPECT_EQ(Frame()->GetMessageText().left(13),
              QStringLiteral("$GPRMC,") + QString::fromStdString(EpochTime(40)));
}

TEST_F(MisbehavingReceiver, PropertiesReportAReceiverThatIsStillAway) {
    m_pty.Close();
    std::filesystem::remove(m_link);
    CloseDocumentWindows();
    AnswerNextModal([](QWidget* dialog) { QTest::keyClick(dialog, Qt::Key_Return); });
    Frame()->RouteCommand(ID_SHOW_PROPERTIES);
    EXPECT_EQ(m_messages,
              QStringList{QString::fromStdString("Can not open Com Port \"" + m_link.string() +
                                                 "\" with Baud Rate 4800.")});
    EXPECT_EQ(g_hComm, kCommInvalid);
    const auto start = Clock::now();
    Frame()->OnTimer(1);
    EXPECT_LT(Clock::now() - start, milliseconds(200));
}

// ---- A receiver that never pauses ----

// Writes as much of `bytes` as the terminal takes within 10 ms; the count,
// or -1 when the terminal is gone. The master is non-blocking, so that a
// reader that stops reading (a failed test) cannot hang the writer.
ssize_t WriteSome(int master, const char* bytes, size_t size) {
    const ssize_t w = write(master, bytes, size);
    if (w >= 0 || errno != EAGAIN)
        return w;
    pollfd p{master, POLLOUT, 0};
    poll(&p, 1, 10);
    return 0;
}

// Sends the epochs of `next` one after another at `baud` [bit/s] (10 bits
// a byte) in small steps, so that no gap reaches the 10 ms that ends a read.
class PacedSender {
public:
    PacedSender(int master, int baud, std::function<std::string(int)> next)
        : m_thread([this, master, baud, next = std::move(next)] {
              fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
              std::string pending;
              long long sent = 0;
              int n = 0;
              const auto start = Clock::now();
              while (!m_stop) {
                  const double seconds =
                      std::chrono::duration<double>(Clock::now() - start).count();
                  const long long due = static_cast<long long>(seconds * baud / 10);
                  while (sent < due && !m_stop) {
                      if (pending.empty())
                          pending = next(n++);
                      const size_t count = std::min<size_t>(pending.size(), size_t(due - sent));
                      const ssize_t w = WriteSome(master, pending.data(), count);
                      if (w < 0)
                          return;
                      pending.erase(0, size_t(w));
                      sent += w;
                  }
                  std::this_thread::sleep_for(milliseconds(2));
              }
          }) {}
    ~PacedSender() {
        m_stop = true;
        m_thread.join();
    }

private:
    std::atomic<bool> m_stop = false;
    std::thread m_thread;
};

TEST_F(MisbehavingReceiver, NonStopAt115200EveryTickStaysBoundedAndWindowsRespond) {
    constexpr int kBaud = 115200;
    // 1000 bytes at this rate, and room for a machine under load.
    const auto fullRead = milliseconds(1000 * 10 * 1000 / kBaud);
    const auto slack = milliseconds(250);
    PacedSender sender(m_pty.master, kBaud, Epoch);

    // The timer leaves a second between ticks; here each starts once the
    // next bytes are in, so that none finds the line momentarily empty.
    auto waitForInput = [] {
        pollfd in{g_hComm, POLLIN, 0};
        return poll(&in, 1, 2000) == 1;
    };

    // The reads themselves: never more than 1000 bytes, never longer than
    // those take to arrive.
    int fullReads = 0;
    for (int tick = 0; tick < 12; ++tick) {
        ASSERT_TRUE(waitForInput());
        const auto start = Clock::now();
        const std::string chunk = Frame()->m_gps.ReadPort();
        const auto took = Clock::now() - start;
        EXPECT_LE(chunk.size(), 1000u) << "read " << tick;
        EXPECT_LT(took, fullRead + slack) << "read " << tick << " of " << chunk.size() << " bytes";
        fullReads += chunk.size() == 1000;
    }
    EXPECT_GT(fullReads, 0) << "no read was cut at 1000 bytes: the sender paused";

    // The poll tick: bounded the same way, and each one takes a later fix.
    std::string lastTime = Fix().m_strTime;
    for (int tick = 0; tick < 8; ++tick) {
        ASSERT_TRUE(waitForInput());
        const auto start = Clock::now();
        Frame()->OnTimer(1);
        const auto took = Clock::now() - start;
        EXPECT_LT(took, fullRead + slack) << "tick " << tick;
        EXPECT_GT(Fix().m_strTime, lastTime) << "tick " << tick;
        lastTime = Fix().m_strTime;
    }

    // Left to the timers: the main frame polls every second and blocks for a
    // read each time; a data window ticking every 50 ms keeps ticking
    // in between, and posted work is still done.
    g_nUpdateMs = 50;
    COstrelView* data = OpenWindow(DOCMODE_GPSDATA);
    ASSERT_NE(data, nullptr);
    struct TickTimes : QObject {
        std::vector<Clock::time_point> times;
        bool eventFilter(QObject*, QEvent* event) override {
            if (event->type() == QEvent::Timer)
                times.push_back(Clock::now());
            return false;
        }
    } viewTicks;
    data->installEventFilter(&viewTicks);
    int posted = 0;
    QTimer poster;
    QObject::connect(&poster, &QTimer::timeout, [&] {
        QMetaObject::invokeMethod(
            &poster, [&] { ++posted; }, Qt::QueuedConnection);
    });
    poster.start(100);
    const std::string before = Fix().m_strTime;
    QTest::qWait(3500);
    poster.stop();
    data->removeEventFilter(&viewTicks);

    EXPECT_GT(Fix().m_strTime, before) << "the main frame's timer polled nothing";
    EXPECT_GE(posted, 15);
    ASSERT_GE(viewTicks.times.size(), 15u);
    Clock::duration longestGap{};
    for (size_t i = 1; i < viewTicks.times.size(); ++i)
        longestGap = std::max(longestGap, viewTicks.times[i] - viewTicks.times[i - 1]);
    EXPECT_LT(longestGap, milliseconds(50) + fullRead + slack)
        << "the data window stalled for "
        << std::chrono::duration_cast<milliseconds>(longestGap).count() << " ms";
}

// ---- Junk on the line ----

struct JunkCase {
    const char* name;
    std::string pattern; // sent over and over
};

void PrintTo(const JunkCase& c, std::ostream* os) {
    *os << c.name;
}

std::string Repeat(const std::string& piece, size_t times) {
    std::string out;
    out.reserve(piece.size() * times);
    for (size_t i = 0; i < times; ++i)
        out += piece;
    return out;
}

std::string Letters() {
    std::string s = "$GPRMC,";
    for (int i = 0; i < 4096; ++i)
        s += char('A' + i % 26);
    return s;
}

const JunkCase kJunk[] = {
    {"a line without end", Letters()},
    {"a numeric line without end", "$GPGGA," + Repeat("123519,4807.038,N,", 200)},
    {"zero bytes", std::string(4096, '\0')},
    {"zero bytes and line feeds", Repeat(std::string("\0\0\0\0\0\0\0\n", 8), 64)},
    {"0xFF bytes", std::string(4096, '\xFF')},
    {"0xFF around names", Repeat("\xFF$GPRMC\xFF\n\xFF$GPGGA\xFF,\xFF\n\xFF\xFF", 100)},
    {"lone carriage returns",
     Repeat("\r", 900) + "$GPRMC,235959,A,0000.001,N,00000.001,E,1,1,010100,,\r"},
    {"dollar storm", std::string(4096, '$')},
    {"prefix storm", Repeat("$GP$GPR$GPRM$GPRMC$GPGG$GPGGA$GPVT$GPVTG$GN$GNRMC$", 60)},
    {"names alone", Repeat("$GPRMC\r\n$GPGGA\r\n$GPVTG\r\n$\r\n$$\n", 100)},
    {"binary",
     [] {
         std::string s;
         uint32_t x = 2463534242u; // xorshift: the same bytes every run
         for (int i = 0; i < 4096; ++i) {
             x ^= x << 13;
             x ^= x >> 17;
             x ^= x << 5;
             s += char(x & 0xFF);
         }
         return s;
     }()},
};

class JunkOnTheLine : public MisbehavingReceiver, public ::testing::WithParamInterface<JunkCase> {};

// Megabytes of junk, sent as fast as the line takes them: no tick hangs and
// none changes the fix; a sentence after the junk is taken as usual.
TEST_P(JunkOnTheLine, LeavesTheFixAloneAndTheReceiverUsable) {
    const JunkCase& junk = GetParam();
    SendAndTick(m_pty, Epoch(10));
    ASSERT_EQ(Fix().m_strTime, EpochTime(10));
    const FixFields good = Fields(Fix());

    std::atomic<bool> done = false;
    std::atomic<bool> stop = false;
    std::atomic<long long> sent = 0;
    fcntl(m_pty.master, F_SETFL, fcntl(m_pty.master, F_GETFL) | O_NONBLOCK);
    std::thread writer([&] {
        // At least a megabyte and a second and a half of it, whichever is later.
        const auto minEnd = Clock::now() + milliseconds(1500);
        size_t at = 0;
        while (!stop && (sent < (1 << 20) || Clock::now() < minEnd)) {
            const ssize_t w =
                WriteSome(m_pty.master, junk.pattern.data() + at, junk.pattern.size() - at);
            if (w < 0)
                break;
            at = (at + size_t(w)) % junk.pattern.size();
            sent += w;
        }
        done = true;
    });

    int ticks = 0;
    Clock::duration longest{};
    const auto giveUp = Clock::now() + std::chrono::seconds(60);
    while ((!done || SerialBytesWaiting(g_hComm) > 0) && Clock::now() < giveUp) {
        const auto start = Clock::now();
        Frame()->OnTimer(1);
        longest = std::max(longest, Clock::now() - start);
        ++ticks;
        if (Fields(Fix()) != good) {
            ADD_FAILURE() << "tick " << ticks << " changed the fix; time now " << Fix().m_strTime;
            break;
        }
    }
    stop = true;
    writer.join();
    fcntl(m_pty.master, F_SETFL, fcntl(m_pty.master, F_GETFL) & ~O_NONBLOCK);
    EXPECT_GE(sent, 1 << 20);
    EXPECT_LT(longest, milliseconds(1000)) << "a tick blocked";
    EXPECT_FALSE(Frame()->m_bBusy);

    std::this_thread::sleep_for(milliseconds(30)); // a pause ends the junk's last read
    SendAndTick(m_pty, Epoch(11));
    EXPECT_EQ(Fix().m_strTime, EpochTime(11));
    EXPECT_EQ(Fix().m_strLatitude, "4807.011");
}

INSTANTIATE_TEST_SUITE_P(Kinds, JunkOnTheLine, ::testing::ValuesIn(kJunk), [](const auto& info) {
    std::string name;
    for (const char* c = info.param.name; *c; ++c)
        name += std::isalnum(static_cast<unsigned char>(*c)) ? *c : '_';
    return name;
});

} // namespace
