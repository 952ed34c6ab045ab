#pragma once

#include "platform/unique_fd.h"

#include <cstddef>
#include <string>
#include <sys/socket.h>
#include <vector>

// Sockets for receivers on the network, on POSIX: every descriptor is
// non-blocking, so that nothing here waits for the other end.

// A resolved address to connect to or bind.
struct NetAddress {
    sockaddr_storage address{};
    socklen_t length = 0;
};

// The addresses of `host` (a name, an IPv4 or an IPv6 address, empty for
// every local address) at `port`, for a stream or datagram socket. Empty
// when the name cannot be resolved; `error` then says why.
std::vector<NetAddress> ResolveAddress(const std::string& host, int port, bool datagram,
                                       std::string& error);

// Starts a TCP connection to `to`. A descriptor whose connection may still
// be in progress (NetConnectResult tells), or none with errno set.
UniqueFd NetStartConnect(const NetAddress& to);

enum class ConnectResult { InProgress, Connected, Failed };
// Where a connection that NetStartConnect began stands now, without waiting.
// `error` is the errno of a failed one.
ConnectResult NetConnectResult(int fd, int& error);

// A UDP socket bound to `at`, with broadcasts allowed and the port shared:
// every program on the machine that binds it so gets each broadcast
// datagram. None, with errno set, when it cannot be bound.
UniqueFd NetBindDatagram(const NetAddress& at);

// Reads what is waiting on a connected stream, without waiting: up to
// `limit` bytes appended to `out`. The count read, 0 when the other end has
// closed the connection, or -1 with errno set (EAGAIN: nothing waiting).
ssize_t NetReadStream(int fd, std::string& out, size_t limit);

// Writes all of `bytes` to a connected stream without waiting; false when
// they do not all fit or the connection has failed.
bool NetWriteAll(int fd, const std::string& bytes);
