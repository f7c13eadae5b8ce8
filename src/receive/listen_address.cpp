#include "receive/listen_address.h"

#include "common/text.h"

namespace norvale {

ParsedListenAddress ParseListenAddress(std::string_view text) {
    ParsedListenAddress parsed;
    const auto refuse = [&](std::string_view part, const std::string& why) {
        return ParsedListenAddress{{}, "Receiving is off: the listen address \"" + std::string(part) + "\" " + why};
    };
    for (const std::string_view part : ListEntries(text)) {
        const ParsedSyslogServer endpoint = ParseSyslogAddress(part);
        if (!endpoint.address) return refuse(part, endpoint.problem);
        parsed.endpoints.push_back(*endpoint.address);
    }
    if (parsed.endpoints.empty()) {
        parsed.problem = "Receiving is off: no listen address is set (udp://HOST:PORT or tcp://HOST:PORT).";
    }
    return parsed;
}

std::string EndpointText(const SyslogAddress& endpoint) {
    const bool v6 = endpoint.host.find(':') != std::string::npos;
    return std::string(endpoint.transport == SyslogTransport::Tcp ? "tcp://" : "udp://") + (v6 ? "[" : "") +
           endpoint.host + (v6 ? "]" : "") + ":" + std::to_string(endpoint.port);
}

}  // namespace norvale
