#include "tests_support/stuck_collector.h"

#include <gtest/gtest.h>

#ifndef _WIN32
#include <arpa/inet.h>
#include <netinet/in.h>
#endif

namespace norvale::test {

TStuckCollector::TStuckCollector(bool fillBacklog) {
    StartSockets();
    listener_.reset(::socket(AF_INET, SOCK_STREAM, 0));
    sockaddr_in at{};
    at.sin_family = AF_INET;
    at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof at;
    if (!listener_ || ::bind(listener_.get(), reinterpret_cast<sockaddr*>(&at), size) != 0 ||
        ::listen(listener_.get(), 0) != 0 ||
        ::getsockname(listener_.get(), reinterpret_cast<sockaddr*>(&at), &size) != 0) {
        ADD_FAILURE() << "no listener on 127.0.0.1: " << SocketErrorText(LastSocketError());
    }
    port_ = ntohs(at.sin_port);
    // Connections the listener never accepts, until the system turns the
    // next ones away.
    for (int i = 0; fillBacklog && i < 8; ++i) {
        UniqueSocket& filler = fillers_.emplace_back(::socket(AF_INET, SOCK_STREAM, 0));
        SetNonBlocking(filler.get());
        ::connect(filler.get(), reinterpret_cast<sockaddr*>(&at), size);
    }
}

}  // namespace norvale::test
