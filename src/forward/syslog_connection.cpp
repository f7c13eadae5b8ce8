#include "forward/syslog_connection.h"

#include <algorithm>
#include <string>

#include "common/sockets.h"

namespace norvale {

namespace {

class TSocketConnection final : public ISyslogConnection {
public:
    TSocketConnection(UniqueSocket socket, bool stream) : socket_(std::move(socket)), stream_(stream) {}

    void Send(std::string_view bytes, size_t& written) override {
        written = 0;
        while (written < bytes.size()) {
            const auto rest = static_cast<int>(std::min<size_t>(bytes.size() - written, 1 << 20));
            const auto sent = ::send(socket_.get(), bytes.data() + written, rest, kSendFlags);
            if (sent < 0) {
                throw ESyslogError("cannot send to the syslog server: " + SocketErrorText(LastSocketError()));
            }
            // A datagram goes out whole or not at all.
            if (!stream_) {
                written = bytes.size();
                return;
            }
            written += static_cast<size_t>(sent);
        }
    }

    // A collector never sends on a syslog connection: anything to read is
    // its end (or a reset).
    bool PeerClosed() override {
        if (!stream_ || !ReadableNow(socket_.get())) return false;
        char byte = 0;
        return ::recv(socket_.get(), &byte, 1, MSG_PEEK) <= 0;
    }

private:
    UniqueSocket socket_;
    const bool stream_;
};

struct AddressListDeleter {
    void operator()(addrinfo* list) const { freeaddrinfo(list); }
};

}  // namespace

std::unique_ptr<ISyslogConnection> ConnectSyslog(const SyslogAddress& address) {
    StartSockets();
    const bool stream = address.transport == SyslogTransport::Tcp;
    const std::string where = address.host + " port " + std::to_string(address.port);
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = stream ? SOCK_STREAM : SOCK_DGRAM;
    addrinfo* found = nullptr;
    const int resolved = getaddrinfo(address.host.c_str(), std::to_string(address.port).c_str(), &hints, &found);
    if (resolved != 0) {
        throw ESyslogError("cannot find the syslog server " + where + ": " + gai_strerror(resolved));
    }
    const std::unique_ptr<addrinfo, AddressListDeleter> list(found);
    int error = 0;
    // The first address that takes the connection; a datagram socket's
    // connect only fixes where its sends go.
    for (const addrinfo* at = list.get(); at != nullptr; at = at->ai_next) {
        UniqueSocket socket(::socket(at->ai_family, at->ai_socktype, at->ai_protocol));
        if (socket && ::connect(socket.get(), at->ai_addr, static_cast<int>(at->ai_addrlen)) == 0) {
            return std::make_unique<TSocketConnection>(std::move(socket), stream);
        }
        error = LastSocketError();
    }
    throw ESyslogError("cannot reach the syslog server " + where + ": " + SocketErrorText(error));
}

}  // namespace norvale
