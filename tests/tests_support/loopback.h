#pragma once

// Sockets on 127.0.0.1 for tests that play a peer: a port that is free, and
// connections that send what the test says.

#include <cstdint>
#include <string_view>

#include "common/sockets.h"

namespace norvale::test {

// A port the system just handed out for `type`; free again once closed.
uint16_t FreePort(int type);
// A TCP connection to 127.0.0.1:`port`, or none when nobody listens.
UniqueSocket ConnectTo(uint16_t port);
bool Listening(uint16_t port);
// Every byte, whatever it takes; false when the connection broke.
bool SendAll(SocketHandle socket, std::string_view bytes);
// One datagram to 127.0.0.1:`port`.
void SendDatagram(uint16_t port, std::string_view bytes);
// True once the peer closed the connection (a read gives its end), within
// `seconds`; it must send nothing meanwhile.
bool ClosedByPeerWithin(SocketHandle socket, int seconds);

// As another machine would: from 127.0.0.`host`, which a listener on
// 127.0.0.1 sees as the sender.
UniqueSocket ConnectFrom(uint8_t host, uint16_t port);
void SendDatagramFrom(uint8_t host, uint16_t port, std::string_view bytes);

}  // namespace norvale::test
