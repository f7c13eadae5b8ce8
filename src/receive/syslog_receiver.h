#pragma once

// The receiving thread: it listens on the addresses it is given, over UDP
// and TCP, waits for all of its sockets at once (`PollSockets`), cuts TCP
// streams into frames, reads each message and queues it as an entry. It
// never waits on the output lock or on any sender: a full queue stops it
// reading TCP (the senders wait), and datagrams meet the queue's own policy.
// Nothing from outside is trusted: senders the allowed list leaves out are
// dropped at once; at most `connections` TCP connections, `perAddress` of
// them from one address (a new one takes the place of the longest idle, see
// `ConnectionToClose`); each frame within its bound; and a connection that
// sent no whole frame for `idle` closed. A message whose handling raises
// (memory it cannot have) is dropped and counted, and the thread goes on.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "forward/syslog_address.h"
#include "receive/receive_queue.h"
#include "receive/receive_status.h"
#include "receive/sender_allow.h"

namespace norvale {

struct ReceiveLimits {
    size_t connections = 64;
    std::chrono::milliseconds idle{60000};
    size_t perAddress = 8;
};

// For tests: sees each message before it is read, and may raise as a
// message that asks for more memory than there is would.
using MessageProbe = std::function<void(std::string_view message)>;

class TSyslogReceiver {
public:
    TSyslogReceiver(TReceiveQueue& queue, ReceiveLimits limits = {}, MessageProbe probe = {});
    // Stops the thread and closes every socket.
    ~TSyslogReceiver();
    TSyslogReceiver(const TSyslogReceiver&) = delete;
    TSyslogReceiver& operator=(const TSyslogReceiver&) = delete;

    // Never waits: from its next look on, the thread listens on these alone
    // (none: nowhere), for the senders `allow` lets in, and the connections
    // it had are closed.
    void Listen(std::vector<SyslogAddress> endpoints, SenderAllow allow = {});

    // Counts since the receiver was made; `problem` names the addresses that
    // cannot be listened on. Never waits for the thread.
    ReceiveStatus Status() const;

private:
    // The thread's sockets and what it knows of each, apart from this
    // header: Winsock's must come before windows.h, which its includers
    // have.
    class TLoop;

    TReceiveQueue& queue_;
    const ReceiveLimits limits_;
    const MessageProbe probe_;

    mutable std::mutex lock_;
    std::vector<SyslogAddress> wanted_;  // under the lock
    SenderAllow allow_;                  // under the lock
    bool changed_ = false;               // under the lock
    std::string problem_;                // under the lock
    std::atomic<bool> stop_{false};
    std::atomic<uint64_t> received_{0};
    std::atomic<uint64_t> malformed_{0};
    std::atomic<uint64_t> cut_{0};
    std::atomic<uint64_t> refused_{0};
    std::atomic<uint64_t> replaced_{0};
    std::atomic<uint64_t> madeRoom_{0};
    std::atomic<uint64_t> idle_{0};
    std::thread thread_;
};

}  // namespace norvale
