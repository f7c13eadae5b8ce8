#pragma once

// The receiving thread: it listens on the addresses it is given, over UDP
// and TCP, waits for all of its sockets at once (`PollSockets`), cuts TCP
// streams into frames, reads each message and queues it as an entry. It
// never waits on the output lock or on any sender: a full queue stops it
// reading TCP (the senders wait), and datagrams meet the queue's own policy.
// Nothing from outside is trusted: at most `connections` TCP connections
// (one more is closed at once and counted), each frame within its bound,
// and a connection quiet for `idle` closed.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "common/sockets.h"
#include "forward/syslog_address.h"
#include "receive/receive_queue.h"
#include "receive/receive_status.h"
#include "receive/received_message.h"
#include "receive/syslog_frames.h"

namespace norvale {

struct ReceiveLimits {
    size_t connections = 64;
    std::chrono::milliseconds idle{60000};
};

class TSyslogReceiver {
public:
    TSyslogReceiver(TReceiveQueue& queue, ReceiveLimits limits = {});
    // Stops the thread and closes every socket.
    ~TSyslogReceiver();
    TSyslogReceiver(const TSyslogReceiver&) = delete;
    TSyslogReceiver& operator=(const TSyslogReceiver&) = delete;

    // Never waits: from its next look on, the thread listens on these alone
    // (none: nowhere), and the connections it had are closed.
    void Listen(std::vector<SyslogAddress> endpoints);

    // Counts since the receiver was made; `problem` names the addresses that
    // cannot be listened on. Never waits for the thread.
    ReceiveStatus Status() const;

private:
    struct TListener {
        UniqueSocket socket;
        bool stream = false;
    };
    struct TConnection {
        UniqueSocket socket;
        std::string peer;
        TSyslogFrames frames;
        std::chrono::steady_clock::time_point active;
        // Frames wait in `frames` for room in the queue.
        bool held = false;
    };

    void Run();
    void Rebind(const std::vector<SyslogAddress>& endpoints);
    void Accept(SocketHandle listener);
    void ReadDatagrams(SocketHandle socket);
    // False once the connection ended.
    bool ReadStream(TConnection& connection);
    // Queues the connection's frames while there is room.
    void QueueFrames(TConnection& connection);
    ReceivedEntry EntryOf(std::string_view frame, bool cut, const std::string& sender);
    std::shared_ptr<const TReceivedSource> SourceOf(const ReceivedMessage& message);

    TReceiveQueue& queue_;
    const ReceiveLimits limits_;

    mutable std::mutex lock_;
    std::vector<SyslogAddress> wanted_;  // under the lock
    bool changed_ = false;               // under the lock
    std::string problem_;                // under the lock
    std::atomic<bool> stop_{false};
    std::atomic<uint64_t> received_{0};
    std::atomic<uint64_t> malformed_{0};
    std::atomic<uint64_t> cut_{0};
    std::atomic<uint64_t> refused_{0};

    // The thread's own.
    std::vector<TListener> listeners_;
    std::vector<std::unique_ptr<TConnection>> connections_;
    std::map<std::wstring, std::shared_ptr<const TReceivedSource>> sources_;
    std::string buffer_;
    std::thread thread_;
};

}  // namespace norvale
