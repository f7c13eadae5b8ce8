#pragma once

// Where Norvale listens for syslog, as the `ListenAddress` option names it:
// "udp://HOST:PORT", "tcp://HOST:PORT", or several separated by ";". HOST is
// the local address to bind ("0.0.0.0" for every interface, an IPv6 address
// in brackets); ":PORT" may be left out for 514. There is no default: the
// user chooses what the machine opens.

#include <string>
#include <string_view>
#include <vector>

#include "forward/syslog_address.h"

namespace norvale {

struct ParsedListenAddress {
    std::vector<SyslogAddress> endpoints;
    // A sentence for the page "Receiving" and the status bar; empty when
    // every part parsed.
    std::string problem;
};

ParsedListenAddress ParseListenAddress(std::string_view text);

// "tcp://0.0.0.0:514", as problems name an endpoint.
std::string EndpointText(const SyslogAddress& endpoint);

}  // namespace norvale
