#include "platform/serial_port.h"

#include "platform/unique_fd.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <poll.h>
#include <set>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

int g_hComm = kCommNull;

namespace {

struct RateCode {
    int rate; // [bit/s]
    speed_t code;
};

constexpr RateCode kRates[] = {
    {50, B50},           {75, B75},           {110, B110},         {134, B134},
    {150, B150},         {200, B200},         {300, B300},         {600, B600},
    {1200, B1200},       {1800, B1800},       {2400, B2400},       {4800, B4800},
    {9600, B9600},       {19200, B19200},     {38400, B38400},     {57600, B57600},
    {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
    {576000, B576000},   {921600, B921600},   {1000000, B1000000}, {1152000, B1152000},
    {1500000, B1500000}, {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000},
    {3500000, B3500000}, {4000000, B4000000},
};

} // namespace

std::string SerialDevicePath(const std::string& name) {
    if (!name.empty() && name[0] == '/')
        return name;
    // "COM" and a port number without leading zeros; four digits are plenty.
    if (name.size() < 4 || name.size() > 7 || name.compare(0, 3, "COM") != 0 || name[3] == '0')
        return {};
    int number = 0;
    for (size_t i = 3; i < name.size(); ++i) {
        if (name[i] < '0' || name[i] > '9')
            return {};
        number = number * 10 + (name[i] - '0');
    }
    return "/dev/ttyS" + std::to_string(number - 1);
}

int SerialOpen(const std::string& name) {
    const std::string path = SerialDevicePath(name);
    if (path.empty()) {
        errno = ENOENT;
        return -1;
    }
    // Non-blocking, so that the open does not wait for carrier; reads are
    // written for it (SerialRead).
    UniqueFd fd(open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (!fd)
        return -1;
    struct stat info {};
    if (fstat(fd.get(), &info) != 0 || !S_ISCHR(info.st_mode)) {
        errno = ENODEV;
        return -1;
    }
    // TIOCEXCL keeps out later opens by ordinary users but not by root; the
    // lock keeps out every other program that asks for it, root included.
    if (flock(fd.get(), LOCK_EX | LOCK_NB) != 0)
        return -1;
    ioctl(fd.get(), TIOCEXCL);
    return fd.release();
}

void SerialClose(int fd) {
    if (fd < 0)
        return;
    // Exclusive mode can outlive our descriptor on some drivers; hand the
    // device back as we found it.
    ioctl(fd, TIOCNXCL);
    close(fd);
}

void SerialSetLine(termios& settings, int baudRate) {
    cfmakeraw(&settings);
    settings.c_iflag &= ~tcflag_t(IXOFF | IXANY); // we never send XOFF: nothing is written
    settings.c_cflag &= ~tcflag_t(CSIZE | PARENB | CSTOPB);
    settings.c_cflag |= CS8 | CRTSCTS | CREAD | CLOCAL;
    const auto* entry = std::find_if(std::begin(kRates), std::end(kRates),
                                     [&](const RateCode& r) { return r.rate == baudRate; });
    if (entry != std::end(kRates)) {
        cfsetispeed(&settings, entry->code);
        cfsetospeed(&settings, entry->code);
    }
}

int SerialBytesWaiting(int fd) {
    if (fd < 0)
        return -1;
    int count = 0;
    if (ioctl(fd, FIONREAD, &count) != 0)
        return -1;
    return count;
}

bool SerialHungUp(int fd) {
    if (fd < 0)
        return false;
    pollfd state{fd, POLLIN, 0};
    if (poll(&state, 1, 0) > 0 && (state.revents & (POLLHUP | POLLERR | POLLNVAL)))
        return true;
    int count = 0;
    return ioctl(fd, FIONREAD, &count) != 0 && errno == EIO;
}

ssize_t SerialRead(int fd, char* buffer, size_t size, int intervalMs, size_t* bytesTaken) {
    // Dropped zero bytes count against `size` too: a line that sends nothing
    // but zeros (a receiver at another bit rate) must not hold the read open.
    size_t taken = 0; // bytes taken from the device
    size_t total = 0; // bytes kept in `buffer`
    if (bytesTaken)
        *bytesTaken = 0;
    while (taken < size) {
        const ssize_t n = read(fd, buffer + total, size - taken);
        if (n > 0) {
            char* begin = buffer + total;
            taken += size_t(n);
            if (bytesTaken)
                *bytesTaken = taken;
            total += std::remove(begin, begin + n, '\0') - begin;
            continue;
        }
        if (n == 0)
            break; // end of file: the device hung up
        if (errno == EINTR)
            continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK)
            return -1;
        pollfd waiting{fd, POLLIN, 0};
        const int ready = poll(&waiting, 1, intervalMs);
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0 || !(waiting.revents & POLLIN))
            break; // a pause of intervalMs, or the device hung up
    }
    return ssize_t(total);
}

namespace {

namespace fs = std::filesystem;

const char* const kByIdFolder = "/dev/serial/by-id";

// The first line of a sysfs attribute, or empty.
std::string ReadAttribute(const fs::path& path) {
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    return line;
}

std::string Resolved(const std::string& path) {
    std::error_code ec;
    const fs::path real = fs::canonical(path, ec);
    return ec ? path : real.string();
}

} // namespace

std::vector<std::string> SerialCandidates() {
    std::set<std::string> devices;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(kByIdFolder, ec))
        devices.insert(Resolved(entry.path().string()));
    for (const auto& entry : fs::directory_iterator("/dev", ec)) {
        const std::string name = entry.path().filename().string();
        if (name.starts_with("ttyUSB") || name.starts_with("ttyACM"))
            devices.insert(entry.path().string());
        // The serial driver makes ttyS nodes for ports that may not exist;
        // those have the port type 0 (unknown).
        if (name.starts_with("ttyS")) {
            const std::string type = ReadAttribute("/sys/class/tty/" + name + "/type");
            if (!type.empty() && type != "0")
                devices.insert(entry.path().string());
        }
    }
    return {devices.begin(), devices.end()};
}

std::string SerialByIdLink(const std::string& device) {
    const std::string real = Resolved(device);
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(kByIdFolder, ec))
        if (Resolved(entry.path().string()) == real)
            return entry.path().string();
    return {};
}

SerialUsbInfo SerialUsbDevice(const std::string& device) {
    SerialUsbInfo info;
    std::error_code ec;
    const fs::path name = fs::path(Resolved(device)).filename();
    // The tty's device is the USB interface (or a port below it); the USB
    // device with its ids is one of its parents.
    fs::path at = fs::canonical("/sys/class/tty" / name / "device", ec);
    for (; !ec && !at.empty() && at != at.root_path(); at = at.parent_path()) {
        if (fs::exists(at / "idVendor", ec) && fs::exists(at / "idProduct", ec)) {
            info.id = ReadAttribute(at / "idVendor") + ":" + ReadAttribute(at / "idProduct");
            info.product = ReadAttribute(at / "product");
            break;
        }
    }
    return info;
}
