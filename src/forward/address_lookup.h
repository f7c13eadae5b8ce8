#pragma once

// A collector's addresses. Name resolution can neither be cut short nor be
// given a bound, so it runs on a thread of its own that nobody waits for,
// holding only its own copies: the sender that asked may end meanwhile.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "common/sockets.h"
#include "forward/syslog_connection.h"

namespace norvale {

struct ResolvedAddress {
    int family = 0;
    int socketType = 0;
    int protocol = 0;
    sockaddr_storage address{};
    int length = 0;
};

// Waits as long as the system takes; raises `ESyslogError`.
using AddressLookup = std::function<std::vector<ResolvedAddress>(const std::string& host, uint16_t port, bool stream)>;

// The system's resolver.
std::vector<ResolvedAddress> LookUpAddresses(const std::string& host, uint16_t port, bool stream);

// `lookup` on a thread of its own; raises `ESyslogError` with its failure,
// or as soon as `giveUp` says so, leaving the thread to end by itself.
std::vector<ResolvedAddress> LookUpDetached(AddressLookup lookup, const std::string& host, uint16_t port,
                                            bool stream, const GiveUp& giveUp);

}  // namespace norvale
