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

}  // namespace norvale
