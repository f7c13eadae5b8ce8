#pragma once

// Whom receiving takes from, as the `ListenAllow` option names them:
// addresses and networks in CIDR form ("192.0.2.7", "10.0.0.0/8",
// "2001:db8::/32", an IPv6 address in brackets too), separated by ";". A
// bare address is its /32 or /128. No entry at all: every sender. Numbers
// only, as a name to look up could change under the user.

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace norvale {

struct SenderAddress {
    // IPv4's four bytes first, the rest zero.
    std::array<uint8_t, 16> bytes{};
    bool v6 = false;
};

struct SenderNetwork {
    SenderAddress address;
    // Leading bits that must match.
    unsigned prefix = 0;
};

struct SenderAllow {
    std::vector<SenderNetwork> networks;

    bool Everyone() const { return networks.empty(); }
    // An IPv4 sender also matches the IPv6 networks that hold its
    // IPv4-mapped form (::ffff:a.b.c.d).
    bool Allows(const SenderAddress& sender) const;
};

struct ParsedSenderAllow {
    SenderAllow allow;
    // A sentence for the page "Receiving" and the status bar; empty when
    // every entry parsed.
    std::string problem;
};

ParsedSenderAllow ParseSenderAllow(std::string_view text);

// A peer as its socket address holds it (4 or 16 bytes, network order): an
// IPv4 peer of an IPv6 socket, which comes mapped, is its IPv4 address, so
// that it matches the IPv4 entries.
SenderAddress SenderAddressOf(std::span<const uint8_t> bytes);

}  // namespace norvale
