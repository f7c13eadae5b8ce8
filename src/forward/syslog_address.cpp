#include "forward/syslog_address.h"

#include "common/text.h"

namespace norvale {

namespace {

ParsedSyslogServer Problem(std::string_view why) { return {std::nullopt, std::string(why)}; }

bool IsHostCharacter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
           c == '_';
}

}  // namespace

ParsedSyslogServer ParseSyslogServer(std::string_view text) {
    ParsedSyslogServer parsed = ParseSyslogAddress(text);
    if (!parsed.address) parsed.problem = "Forwarding is off: the syslog server \"" + std::string(text) + "\" " + parsed.problem;
    return parsed;
}

ParsedSyslogServer ParseSyslogAddress(std::string_view text) {
    SyslogAddress address;
    std::string_view rest = text;
    const std::string scheme = AsciiLowerCase(rest.substr(0, 6));
    if (scheme == "udp://") {
        address.transport = SyslogTransport::Udp;
    } else if (scheme == "tcp://") {
        address.transport = SyslogTransport::Tcp;
    } else {
        return Problem("does not begin with \"udp://\" or \"tcp://\".");
    }
    rest.remove_prefix(6);

    std::string_view host;
    if (rest.starts_with('[')) {
        const size_t close = rest.find(']');
        if (close == std::string_view::npos) return Problem("opens an IPv6 address with \"[\" but never closes it.");
        host = rest.substr(1, close - 1);
        if (host.empty() || host.find_first_not_of(":.0123456789abcdefABCDEF") != std::string_view::npos ||
            host.find(':') == std::string_view::npos) {
            return Problem("has no IPv6 address between its brackets.");
        }
        rest.remove_prefix(close + 1);
    } else {
        const size_t end = rest.find(':');
        host = rest.substr(0, end);
        rest.remove_prefix(host.size());
        if (host.empty()) return Problem("names no host.");
        for (const char c : host) {
            if (!IsHostCharacter(c)) {
                return Problem("has a host name with other characters than letters, digits, \"-\", \"_\" and "
                                     "\".\" (an IPv6 address goes in brackets).");
            }
        }
    }
    address.host = std::string(host);

    if (!rest.empty()) {
        if (!rest.starts_with(':') || rest.size() == 1 || rest.size() > 6 ||
            rest.find_first_not_of("0123456789", 1) != std::string_view::npos) {
            return Problem("has a port that is not a number from 1 to 65535.");
        }
        const unsigned long port = std::stoul(std::string(rest.substr(1)));
        if (port < 1 || port > 65535) return Problem("has a port that is not a number from 1 to 65535.");
        address.port = static_cast<uint16_t>(port);
    }
    return {address, {}};
}

}  // namespace norvale
