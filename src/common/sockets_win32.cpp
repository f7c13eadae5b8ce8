#include "common/sockets.h"

#include <mutex>
#include <stdexcept>

#include "common/system_error.h"

namespace norvale {

void CloseSocket(SocketHandle socket) { closesocket(socket); }

void StartSockets() {
    // Never cleaned up: other threads may hold sockets until the process ends.
    static std::once_flag started;
    std::call_once(started, [] {
        WSADATA data{};
        const int error = WSAStartup(MAKEWORD(2, 2), &data);
        if (error != 0) throw std::runtime_error("cannot start Windows Sockets: " + SystemErrorText(error));
    });
}

int LastSocketError() { return WSAGetLastError(); }

std::string SocketErrorText(int error) { return SystemErrorText(static_cast<uint32_t>(error)); }

bool ReadableNow(SocketHandle socket) {
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(socket, &readable);
    timeval now{0, 0};
    return select(0, &readable, nullptr, nullptr, &now) > 0;
}

}  // namespace norvale
