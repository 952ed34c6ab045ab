#include "platform/net_socket.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>

std::vector<NetAddress> ResolveAddress(const std::string& host, int port, bool datagram,
                                       std::string& error) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = datagram ? SOCK_DGRAM : SOCK_STREAM;
    hints.ai_flags = AI_NUMERICSERV | (host.empty() ? AI_PASSIVE : 0);
    addrinfo* found = nullptr;
    const std::string service = std::to_string(port);
    const int status =
        getaddrinfo(host.empty() ? nullptr : host.c_str(), service.c_str(), &hints, &found);
    std::vector<NetAddress> addresses;
    if (status != 0) {
        error = gai_strerror(status);
        return addresses;
    }
    for (const addrinfo* at = found; at; at = at->ai_next) {
        if (at->ai_addrlen > sizeof(sockaddr_storage))
            continue;
        NetAddress address;
        std::memcpy(&address.address, at->ai_addr, at->ai_addrlen);
        address.length = at->ai_addrlen;
        // A passive IPv4 address first: it takes the broadcasts of boat networks.
        if (host.empty() && at->ai_family == AF_INET)
            addresses.insert(addresses.begin(), address);
        else
            addresses.push_back(address);
    }
    freeaddrinfo(found);
    return addresses;
}

UniqueFd NetStartConnect(const NetAddress& to) {
    UniqueFd fd(socket(to.address.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (!fd)
        return fd;
    if (connect(fd.get(), reinterpret_cast<const sockaddr*>(&to.address), to.length) != 0 &&
        errno != EINPROGRESS)
        return UniqueFd();
    return fd;
}

ConnectResult NetConnectResult(int fd, int& error) {
    pollfd state{fd, POLLOUT, 0};
    if (poll(&state, 1, 0) <= 0)
        return ConnectResult::InProgress;
    socklen_t size = sizeof error;
    error = 0;
    if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) != 0)
        error = errno;
    return error == 0 ? ConnectResult::Connected : ConnectResult::Failed;
}

UniqueFd NetBindDatagram(const NetAddress& at) {
    UniqueFd fd(socket(at.address.ss_family, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (!fd)
        return fd;
    const int on = 1;
    setsockopt(fd.get(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    setsockopt(fd.get(), SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
    if (bind(fd.get(), reinterpret_cast<const sockaddr*>(&at.address), at.length) != 0)
        return UniqueFd();
    return fd;
}

ssize_t NetReadStream(int fd, std::string& out, size_t limit) {
    size_t total = 0;
    char buffer[4096];
    while (total < limit) {
        const ssize_t n = recv(fd, buffer, std::min(sizeof buffer, limit - total), 0);
        if (n > 0) {
            out.append(buffer, size_t(n));
            total += size_t(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (total > 0)
            break; // what came so far; an end or error shows at the next read
        return n;
    }
    return ssize_t(total);
}

bool NetWriteAll(int fd, const std::string& bytes) {
    size_t sent = 0;
    while (sent < bytes.size()) {
        const ssize_t n = send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        sent += size_t(n);
    }
    return true;
}
