#pragma once

// Where forwarded entries go, as the `SyslogServer` option names it:
// "udp://HOST:PORT" or "tcp://HOST:PORT", HOST a name, an IPv4 address or an
// IPv6 address in brackets, ":PORT" optional.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace norvale {

enum class SyslogTransport { Udp, Tcp };

inline constexpr uint16_t kDefaultSyslogPort = 514;

struct SyslogAddress {
    SyslogTransport transport = SyslogTransport::Udp;
    std::string host;  // without the brackets of an IPv6 address
    uint16_t port = kDefaultSyslogPort;
};

// The address, or why the text is none: a sentence the user reads on the
// "Options" page and in the trace window's status bar.
struct ParsedSyslogServer {
    std::optional<SyslogAddress> address;
    std::string problem;
};

ParsedSyslogServer ParseSyslogServer(std::string_view text);

// The same form wherever it is given: `problem` is then only why, the part
// of the sentence after the text ("names no host.").
ParsedSyslogServer ParseSyslogAddress(std::string_view text);

}  // namespace norvale
