#include "forward/syslog_connection.h"

#include <algorithm>
#include <string>

#include "common/sockets.h"
#include "forward/address_lookup.h"

namespace norvale {

namespace {

// Waits until the socket takes bytes (or a connect ended), looking at
// `giveUp` between slices.
void AwaitWritableOrGiveUp(SocketHandle socket, const GiveUp& giveUp, const char* doing) {
    while (!AwaitWritable(socket, kGiveUpLook)) {
        if (giveUp()) throw ESyslogError(std::string("gave up ") + doing + " the syslog server");
    }
}

// The socket never blocks: a collector that stops reading, or a peer that
// never answers, holds the sender no longer than its `GiveUp` allows.
class TSocketConnection final : public ISyslogConnection {
public:
    TSocketConnection(UniqueSocket socket, bool stream, GiveUp giveUp)
        : socket_(std::move(socket)), stream_(stream), giveUp_(std::move(giveUp)) {}

    void Send(std::string_view bytes, size_t& written) override {
        written = 0;
        while (written < bytes.size()) {
            const auto rest = static_cast<int>(std::min<size_t>(bytes.size() - written, 1 << 20));
            const auto sent = ::send(socket_.get(), bytes.data() + written, rest, kSendFlags);
            if (sent < 0) {
                const int error = LastSocketError();
                if (!WouldWait(error)) {
                    throw ESyslogError("cannot send to the syslog server: " + SocketErrorText(error));
                }
                AwaitWritableOrGiveUp(socket_.get(), giveUp_, "sending to");
                continue;
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
        const auto read = ::recv(socket_.get(), &byte, 1, MSG_PEEK);
        return read == 0 || (read < 0 && !WouldWait(LastSocketError()));
    }

private:
    UniqueSocket socket_;
    const bool stream_;
    const GiveUp giveUp_;
};

// A datagram socket's connect only fixes where its sends go.
UniqueSocket Connected(const ResolvedAddress& at, const GiveUp& giveUp) {
    UniqueSocket socket(::socket(at.family, at.socketType, at.protocol));
    if (!socket) throw ESyslogError(SocketErrorText(LastSocketError()));
    SetNonBlocking(socket.get());
    if (::connect(socket.get(), reinterpret_cast<const sockaddr*>(&at.address), at.length) != 0) {
        const int error = LastSocketError();
        if (!WouldWait(error)) throw ESyslogError(SocketErrorText(error));
        AwaitWritableOrGiveUp(socket.get(), giveUp, "connecting to");
        if (const int failed = PendingSocketError(socket.get())) throw ESyslogError(SocketErrorText(failed));
    }
    return socket;
}

}  // namespace

std::unique_ptr<ISyslogConnection> ConnectSyslog(const SyslogAddress& address, const GiveUp& giveUp) {
    StartSockets();
    const bool stream = address.transport == SyslogTransport::Tcp;
    const std::vector<ResolvedAddress> addresses =
        LookUpDetached(LookUpAddresses, address.host, address.port, stream, giveUp);
    std::string failure = "no address";
    // The first address that takes the connection.
    for (const ResolvedAddress& at : addresses) {
        try {
            return std::make_unique<TSocketConnection>(Connected(at, giveUp), stream, giveUp);
        } catch (const ESyslogError& error) {
            if (giveUp()) throw;
            failure = error.what();
        }
    }
    throw ESyslogError("cannot reach the syslog server " + address.host + " port " + std::to_string(address.port) +
                       ": " + failure);
}

}  // namespace norvale
