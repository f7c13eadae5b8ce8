#include "common/sockets.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace norvale {

void CloseSocket(SocketHandle socket) { ::close(socket); }

void StartSockets() {}

int LastSocketError() { return errno; }

std::string SocketErrorText(int error) { return std::strerror(error); }

bool ReadableNow(SocketHandle socket) {
    pollfd watched{socket, POLLIN, 0};
    return ::poll(&watched, 1, 0) > 0;
}

void SetNonBlocking(SocketHandle socket) {
    const int flags = ::fcntl(socket, F_GETFL);
    if (flags < 0 || ::fcntl(socket, F_SETFL, flags | O_NONBLOCK) < 0) {
        throw std::runtime_error("cannot make a socket non-blocking: " + SocketErrorText(errno));
    }
}

bool WouldWait(int error) { return error == EWOULDBLOCK || error == EAGAIN || error == EINPROGRESS; }

bool AwaitWritable(SocketHandle socket, std::chrono::milliseconds wait) {
    pollfd watched{socket, POLLOUT, 0};
    return ::poll(&watched, 1, static_cast<int>(wait.count())) > 0;
}

int PendingSocketError(SocketHandle socket) {
    int error = 0;
    socklen_t size = sizeof error;
    if (::getsockopt(socket, SOL_SOCKET, SO_ERROR, &error, &size) != 0) return errno;
    return error;
}

int PollSockets(std::span<PollEntry> entries, std::chrono::milliseconds wait) {
    return ::poll(entries.data(), entries.size(), static_cast<int>(wait.count()));
}

// Ports are never shared here unless asked; for datagrams the same option
// would ask for it.
void ClaimAddress(SocketHandle socket, bool stream) {
    if (!stream) return;
    const int on = 1;
    ::setsockopt(socket, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
}

BindFailure BindFailureOf(int error) {
    switch (error) {
        case EADDRINUSE: return BindFailure::AddressInUse;
        case EACCES:
        case EPERM: return BindFailure::NoPermission;
        case EADDRNOTAVAIL: return BindFailure::NoSuchAddress;
        default: return BindFailure::Other;
    }
}

std::string AddressText(const sockaddr* address, socklen_t length) {
    char host[NI_MAXHOST] = {};
    if (::getnameinfo(address, length, host, sizeof host, nullptr, 0, NI_NUMERICHOST) != 0) return "?";
    return host;
}

}  // namespace norvale
