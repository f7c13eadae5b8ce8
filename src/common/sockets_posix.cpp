#include "common/sockets.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace norvale {

void CloseSocket(SocketHandle socket) { ::close(socket); }

void StartSockets() {}

int LastSocketError() { return errno; }

std::string SocketErrorText(int error) { return std::strerror(error); }

bool ReadableNow(SocketHandle socket) {
    pollfd watched{socket, POLLIN, 0};
    return ::poll(&watched, 1, 0) > 0;
}

}  // namespace norvale
