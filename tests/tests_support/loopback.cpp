// Winsock's header brings windows.h, after itself as it must.
#include "tests_support/loopback.h"

#include <algorithm>
#include <chrono>

namespace norvale::test {

namespace {

sockaddr_in Loopback(uint16_t port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    return address;
}

// A socket bound to 127.0.0.`host`, none when it cannot be.
UniqueSocket BoundTo(uint8_t host, int type) {
    StartSockets();
    UniqueSocket socket(::socket(AF_INET, type, 0));
    sockaddr_in address = Loopback(0);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK - 1 + host);
    if (::bind(socket.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) return {};
    return socket;
}

}  // namespace

uint16_t FreePort(int type) {
    StartSockets();
    const UniqueSocket probe(::socket(AF_INET, type, 0));
    sockaddr_in address = Loopback(0);
    socklen_t size = sizeof address;
    ::bind(probe.get(), reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::getsockname(probe.get(), reinterpret_cast<sockaddr*>(&address), &size);
    return ntohs(address.sin_port);
}

UniqueSocket ConnectTo(uint16_t port) {
    StartSockets();
    UniqueSocket socket(::socket(AF_INET, SOCK_STREAM, 0));
    const sockaddr_in address = Loopback(port);
    if (::connect(socket.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) return {};
    return socket;
}

bool Listening(uint16_t port) { return static_cast<bool>(ConnectTo(port)); }

bool SendAll(SocketHandle socket, std::string_view bytes) {
    while (!bytes.empty()) {
        const auto sent = ::send(socket, bytes.data(), static_cast<int>(std::min<size_t>(bytes.size(), 1 << 20)),
                                 kSendFlags);
        if (sent <= 0) return false;
        bytes.remove_prefix(static_cast<size_t>(sent));
    }
    return true;
}

void SendDatagram(uint16_t port, std::string_view bytes) {
    StartSockets();
    const UniqueSocket socket(::socket(AF_INET, SOCK_DGRAM, 0));
    const sockaddr_in address = Loopback(port);
    ::sendto(socket.get(), bytes.data(), static_cast<int>(bytes.size()), 0,
             reinterpret_cast<const sockaddr*>(&address), sizeof address);
}

bool ClosedByPeerWithin(SocketHandle socket, int seconds) {
    PollEntry entry{socket, POLLIN, 0};
    if (PollSockets(std::span(&entry, 1), std::chrono::seconds(seconds)) <= 0) return false;
    char byte = 0;
    return ::recv(socket, &byte, 1, 0) <= 0;
}

UniqueSocket ConnectFrom(uint8_t host, uint16_t port) {
    UniqueSocket socket = BoundTo(host, SOCK_STREAM);
    const sockaddr_in address = Loopback(port);
    if (!socket || ::connect(socket.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) return {};
    return socket;
}

void SendDatagramFrom(uint8_t host, uint16_t port, std::string_view bytes) {
    const UniqueSocket socket = BoundTo(host, SOCK_DGRAM);
    const sockaddr_in address = Loopback(port);
    ::sendto(socket.get(), bytes.data(), static_cast<int>(bytes.size()), 0,
             reinterpret_cast<const sockaddr*>(&address), sizeof address);
}

}  // namespace norvale::test
