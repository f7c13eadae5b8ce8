#include "receive/sender_allow.h"

#include <algorithm>
#include <optional>

#include "common/text.h"

namespace norvale {

namespace {

using Bytes = std::array<uint8_t, 16>;

// Four decimal numbers to 255 and nothing else: a leading zero, which some
// systems read as octal, makes no address rather than a guess.
std::optional<Bytes> IPv4Of(std::string_view text) {
    Bytes bytes{};
    for (size_t i = 0; i < 4; ++i) {
        const size_t end = i < 3 ? text.find('.') : text.size();
        if (end == std::string_view::npos) return std::nullopt;
        const std::string_view part = text.substr(0, end);
        if (part.empty() || part.size() > 3 || (part.size() > 1 && part[0] == '0')) return std::nullopt;
        unsigned value = 0;
        for (const char c : part) {
            if (c < '0' || c > '9') return std::nullopt;
            value = value * 10 + static_cast<unsigned>(c - '0');
        }
        if (value > 255) return std::nullopt;
        bytes[i] = static_cast<uint8_t>(value);
        text.remove_prefix(i < 3 ? end + 1 : end);
    }
    return bytes;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Groups of one to four hex digits between colons; the address's last group
// may be an IPv4 address, which stands for two.
bool GroupsOf(std::string_view text, bool last, std::vector<unsigned>& groups) {
    while (!text.empty()) {
        const size_t end = text.find(':');
        const std::string_view group = text.substr(0, end);
        if (end == std::string_view::npos && last && group.find('.') != std::string_view::npos) {
            const auto v4 = IPv4Of(group);
            if (!v4) return false;
            groups.push_back((*v4)[0] << 8 | (*v4)[1]);
            groups.push_back((*v4)[2] << 8 | (*v4)[3]);
            return true;
        }
        if (group.empty() || group.size() > 4) return false;
        unsigned value = 0;
        for (const char c : group) {
            const int digit = HexDigit(c);
            if (digit < 0) return false;
            value = value * 16 + static_cast<unsigned>(digit);
        }
        groups.push_back(value);
        if (end == std::string_view::npos) return true;
        text.remove_prefix(end + 1);
        // A colon at the end leaves an empty group.
        if (text.empty()) return false;
    }
    return true;
}

// "::" stands for one zero group or more, once.
std::optional<Bytes> IPv6Of(std::string_view text) {
    const size_t gap = text.find("::");
    std::vector<unsigned> head, tail;
    if (gap == std::string_view::npos) {
        if (!GroupsOf(text, true, head) || head.size() != 8) return std::nullopt;
    } else {
        const std::string_view after = text.substr(gap + 2);
        if (after.find("::") != std::string_view::npos || !GroupsOf(text.substr(0, gap), false, head) ||
            !GroupsOf(after, true, tail) || head.size() + tail.size() > 7) {
            return std::nullopt;
        }
    }
    head.resize(8 - tail.size());
    head.insert(head.end(), tail.begin(), tail.end());
    Bytes bytes{};
    for (size_t i = 0; i < 8; ++i) {
        bytes[2 * i] = static_cast<uint8_t>(head[i] >> 8);
        bytes[2 * i + 1] = static_cast<uint8_t>(head[i]);
    }
    return bytes;
}

bool Within(const Bytes& address, const Bytes& network, unsigned prefix) {
    const unsigned whole = prefix / 8, rest = prefix % 8;
    if (!std::equal(address.begin(), address.begin() + whole, network.begin())) return false;
    if (rest == 0) return true;
    const auto mask = static_cast<uint8_t>(0xff << (8 - rest));
    return (address[whole] & mask) == (network[whole] & mask);
}

constexpr uint8_t kMapped[12] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xff, 0xff};

}  // namespace

bool SenderAllow::Allows(const SenderAddress& sender) const {
    if (Everyone()) return true;
    Bytes mapped{};
    std::copy(std::begin(kMapped), std::end(kMapped), mapped.begin());
    std::copy_n(sender.bytes.begin(), 4, mapped.begin() + 12);
    return std::any_of(networks.begin(), networks.end(), [&](const SenderNetwork& network) {
        if (network.address.v6 == sender.v6) return Within(sender.bytes, network.address.bytes, network.prefix);
        return !sender.v6 && Within(mapped, network.address.bytes, network.prefix);
    });
}

ParsedSenderAllow ParseSenderAllow(std::string_view text) {
    ParsedSenderAllow parsed;
    const auto refuse = [](std::string_view entry, const std::string& why) {
        return ParsedSenderAllow{{}, "Receiving is off: the allowed sender \"" + std::string(entry) + "\" " + why};
    };
    for (const std::string_view entry : ListEntries(text)) {
        const size_t slash = entry.find('/');
        std::string_view address = entry.substr(0, slash);
        if (address.size() >= 2 && address.front() == '[' && address.back() == ']') {
            address = address.substr(1, address.size() - 2);
        }
        SenderNetwork network;
        network.address.v6 = address.find(':') != std::string_view::npos;
        const auto bytes = network.address.v6 ? IPv6Of(address) : IPv4Of(address);
        if (!bytes) {
            return refuse(entry, "is no IPv4 or IPv6 address (192.0.2.7, 10.0.0.0/8, 2001:db8::/32).");
        }
        network.address.bytes = *bytes;
        const unsigned most = network.address.v6 ? 128 : 32;
        network.prefix = most;
        if (slash != std::string_view::npos) {
            const std::string_view length = entry.substr(slash + 1);
            const bool digits = !length.empty() && length.size() <= 3 &&
                                std::all_of(length.begin(), length.end(), [](char c) { return c >= '0' && c <= '9'; });
            network.prefix = digits ? static_cast<unsigned>(std::stoul(std::string(length))) : most + 1;
            if (network.prefix > most) {
                return refuse(entry, "has a prefix length that is not a number from 0 to " + std::to_string(most) + ".");
            }
        }
        parsed.allow.networks.push_back(network);
    }
    return parsed;
}

SenderAddress SenderAddressOf(std::span<const uint8_t> bytes) {
    SenderAddress sender;
    if (bytes.size() == 16 && !std::equal(std::begin(kMapped), std::end(kMapped), bytes.begin())) {
        sender.v6 = true;
        std::copy(bytes.begin(), bytes.end(), sender.bytes.begin());
    } else if (bytes.size() == 16) {
        std::copy_n(bytes.begin() + 12, 4, sender.bytes.begin());
    } else {
        std::copy_n(bytes.begin(), std::min<size_t>(bytes.size(), 4), sender.bytes.begin());
    }
    return sender;
}

}  // namespace norvale
