#include "forward/address_lookup.h"

#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

namespace norvale {

namespace {

struct AddressListDeleter {
    void operator()(addrinfo* list) const { freeaddrinfo(list); }
};

// Shared by the asker and the lookup's thread: whichever ends last frees it.
struct TLookup {
    std::mutex lock;
    std::condition_variable done;
    std::optional<std::vector<ResolvedAddress>> found;
    std::optional<std::string> failure;
};

}  // namespace

std::vector<ResolvedAddress> LookUpAddresses(const std::string& host, uint16_t port, bool stream) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = stream ? SOCK_STREAM : SOCK_DGRAM;
    addrinfo* list = nullptr;
    const int error = getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &list);
    if (error != 0) {
        throw ESyslogError("cannot find the syslog server " + host + " port " + std::to_string(port) + ": " +
                           gai_strerror(error));
    }
    const std::unique_ptr<addrinfo, AddressListDeleter> owned(list);
    std::vector<ResolvedAddress> addresses;
    for (const addrinfo* at = list; at != nullptr; at = at->ai_next) {
        if (at->ai_addrlen > sizeof(sockaddr_storage)) continue;
        ResolvedAddress& address = addresses.emplace_back();
        address.family = at->ai_family;
        address.socketType = at->ai_socktype;
        address.protocol = at->ai_protocol;
        std::memcpy(&address.address, at->ai_addr, at->ai_addrlen);
        address.length = static_cast<int>(at->ai_addrlen);
    }
    return addresses;
}

std::vector<ResolvedAddress> LookUpDetached(AddressLookup lookup, const std::string& host, uint16_t port,
                                            bool stream, const GiveUp& giveUp) {
    const auto shared = std::make_shared<TLookup>();
    std::thread([shared, lookup = std::move(lookup), host, port, stream] {
        std::optional<std::vector<ResolvedAddress>> found;
        std::optional<std::string> failure;
        try {
            found = lookup(host, port, stream);
        } catch (const std::exception& error) {
            failure = error.what();
        }
        std::lock_guard guard(shared->lock);
        shared->found = std::move(found);
        shared->failure = std::move(failure);
        shared->done.notify_all();
    }).detach();
    std::unique_lock guard(shared->lock);
    while (!shared->done.wait_for(guard, kGiveUpLook, [&] { return shared->found || shared->failure; })) {
        guard.unlock();
        const bool ending = giveUp();
        guard.lock();
        if (ending) throw ESyslogError("gave up looking up the syslog server " + host);
    }
    if (shared->failure) throw ESyslogError(*shared->failure);
    return std::move(*shared->found);
}

}  // namespace norvale
