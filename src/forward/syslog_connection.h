#pragma once

// One connection to the collector, over whatever carries it: sockets under
// the platform, a fake in tests.

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>

#include "forward/syslog_address.h"

namespace norvale {

// A connection that could not be made or broke, with the system's text.
class ESyslogError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Asked over and over while a connection waits on the network: true once its
// sender must end, so that no collector and no address can hold it up.
using GiveUp = std::function<bool()>;
// How often a wait on the network looks at its `GiveUp`.
inline constexpr std::chrono::milliseconds kGiveUpLook{50};

class ISyslogConnection {
public:
    virtual ~ISyslogConnection() = default;
    // A stream writes what it can and raises at the first failure, having
    // counted in `written` the bytes that went out; a datagram goes out
    // whole or raises. Both raise when told to give up while they wait.
    virtual void Send(std::string_view bytes, size_t& written) = 0;
    // A stream whose collector closed its side: it would still take the
    // first writes and lose them.
    virtual bool PeerClosed() = 0;
};

// Raises `ESyslogError` when the collector cannot be reached or `giveUp`
// said so first; the connection keeps `giveUp` for its sends.
using SyslogConnector =
    std::function<std::unique_ptr<ISyslogConnection>(const SyslogAddress&, const GiveUp& giveUp)>;

// Sockets under the platform.
std::unique_ptr<ISyslogConnection> ConnectSyslog(const SyslogAddress& address, const GiveUp& giveUp);

}  // namespace norvale
