#pragma once

// The few socket calls that differ between Winsock and the BSD sockets of
// other systems, so that the code above them is written once.

#include <chrono>
#include <span>
#include <string>

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/types.h>
#endif

#include "common/unique_resource.h"

namespace norvale {

#ifdef _WIN32
using SocketHandle = SOCKET;
inline constexpr SocketHandle kNoSocket = INVALID_SOCKET;
using PollEntry = WSAPOLLFD;
// A peer that went away makes a send fail with an error on every system.
inline constexpr int kSendFlags = 0;
#else
using SocketHandle = int;
inline constexpr SocketHandle kNoSocket = -1;
using PollEntry = pollfd;
// Not the signal that would end the process.
inline constexpr int kSendFlags = MSG_NOSIGNAL;
#endif

void CloseSocket(SocketHandle socket);

struct SocketTraits {
    using Type = SocketHandle;
    static Type Invalid() { return kNoSocket; }
    static bool IsValid(Type socket) { return socket != kNoSocket; }
    static void Close(Type socket) { CloseSocket(socket); }
};
using UniqueSocket = UniqueResource<SocketTraits>;

// Winsock wants to be started once per process; elsewhere nothing.
void StartSockets();

// The last socket call's error, and its text.
int LastSocketError();
std::string SocketErrorText(int error);

// True when a read would not wait: data, or the peer's end.
bool ReadableNow(SocketHandle socket);

// Calls on the socket return at once from now on: a thread that must be able
// to end waits for it in slices it chooses (`AwaitWritable`).
void SetNonBlocking(SocketHandle socket);
// The error of a call that would have waited, or of a connect under way.
bool WouldWait(int error);
// True once a send would not wait, or a connect under way has ended (well or
// not: `PendingSocketError` tells); false when `wait` passed first.
bool AwaitWritable(SocketHandle socket, std::chrono::milliseconds wait);
// The error that ended a connect under way, 0 when it worked.
int PendingSocketError(SocketHandle socket);

// Waits up to `wait` until a socket is ready as its entry asks (POLLIN);
// the count of those ready. One wait for any number of sockets (WSAPoll),
// not the platform's 64 handles of a multiple-object wait.
int PollSockets(std::span<PollEntry> entries, std::chrono::milliseconds wait);

// A listening socket's address for it alone: another program cannot bind
// the same port to listen in its place, and a stream's port this process
// listened on moments ago can be listened on again.
void ClaimAddress(SocketHandle socket, bool stream);

// What made a bind fail, as the user is told it.
enum class BindFailure { AddressInUse, NoPermission, NoSuchAddress, Other };
BindFailure BindFailureOf(int error);

// An address as numbers: "192.0.2.7", "::1".
std::string AddressText(const sockaddr* address, socklen_t length);

}  // namespace norvale
