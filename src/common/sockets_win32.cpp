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

void SetNonBlocking(SocketHandle socket) {
    u_long on = 1;
    if (ioctlsocket(socket, FIONBIO, &on) != 0) {
        throw std::runtime_error("cannot make a socket non-blocking: " + SocketErrorText(WSAGetLastError()));
    }
}

bool WouldWait(int error) { return error == WSAEWOULDBLOCK || error == WSAEINPROGRESS; }

// A connect that failed shows among the exceptions, not the writable.
bool AwaitWritable(SocketHandle socket, std::chrono::milliseconds wait) {
    fd_set writable;
    FD_ZERO(&writable);
    FD_SET(socket, &writable);
    fd_set failed;
    FD_ZERO(&failed);
    FD_SET(socket, &failed);
    const auto micro = std::chrono::duration_cast<std::chrono::microseconds>(wait).count();
    timeval until{static_cast<long>(micro / 1000000), static_cast<long>(micro % 1000000)};
    return select(0, nullptr, &writable, &failed, &until) > 0;
}

int PendingSocketError(SocketHandle socket) {
    int error = 0;
    int size = sizeof error;
    if (getsockopt(socket, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &size) != 0) {
        return WSAGetLastError();
    }
    return error;
}

int PollSockets(std::span<PollEntry> entries, std::chrono::milliseconds wait) {
    return WSAPoll(entries.data(), static_cast<ULONG>(entries.size()), static_cast<INT>(wait.count()));
}

// Windows lets a second program bind a port that is in use unless the first
// claims it exclusively.
void ClaimAddress(SocketHandle socket, bool) {
    BOOL on = TRUE;
    setsockopt(socket, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&on), sizeof on);
}

BindFailure BindFailureOf(int error) {
    switch (error) {
        case WSAEADDRINUSE: return BindFailure::AddressInUse;
        case WSAEACCES: return BindFailure::NoPermission;
        case WSAEADDRNOTAVAIL: return BindFailure::NoSuchAddress;
        default: return BindFailure::Other;
    }
}

std::string AddressText(const sockaddr* address, socklen_t length) {
    char host[NI_MAXHOST] = {};
    if (getnameinfo(address, length, host, sizeof host, nullptr, 0, NI_NUMERICHOST) != 0) return "?";
    return host;
}

}  // namespace norvale
