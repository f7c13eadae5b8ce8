#pragma once

// The thread that takes entries from the forwarding queue and sends them to
// the collector. It connects on first use and again after a failure, after a
// pause that grows from 0.1 s to 5 s and starts again only once a message
// went out (a collector that takes the connection and drops it at once is
// tried no more often than one that refuses it); it settles an entry as sent
// only once the entry went out, so a broken connection sends it again, and it
// first tells the collector how many entries the queue's bound dropped. No
// step on the network outlasts `Finish`'s grace by more than a moment.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "forward/forward_queue.h"
#include "forward/syslog_connection.h"

namespace norvale {

// The pause before the next attempt to connect.
class TRetryPause {
public:
    static constexpr std::chrono::milliseconds kFirst{100};
    static constexpr std::chrono::milliseconds kLongest{5000};
    std::chrono::milliseconds Next();
    void Reset() { next_ = kFirst; }

private:
    std::chrono::milliseconds next_ = kFirst;
};

struct SenderStatus {
    bool connected = false;
    // Why the last attempt to connect or send failed; empty once one worked.
    std::string problem;
    // Datagrams cut to their bound.
    uint64_t cut = 0;
};

class TSyslogSender {
public:
    // `utcOffset`: local time minus UTC at a moment, in minutes.
    TSyslogSender(TForwardQueue& queue, SyslogAddress address, SyslogConnector connect, SyslogOrigin origin,
                  std::function<int(const LocalDateTime&)> utcOffset);
    // Stops at once: what is queued stays queued.
    ~TSyslogSender();
    TSyslogSender(const TSyslogSender&) = delete;
    TSyslogSender& operator=(const TSyslogSender&) = delete;

    // Sends what is queued for up to `grace`, drops the rest with a count,
    // and ends the thread.
    void Finish(std::chrono::milliseconds grace);

    SenderStatus Status() const;

private:
    static constexpr size_t kBatch = 256;
    // A batch of large blocks stays this small, so that what the sender holds
    // beside the queue's bound is small too.
    static constexpr size_t kBatchBytes = size_t{1} << 20;
    // After a batch that emptied the queue, the entries that follow are
    // gathered this long into the next: one write and no wake-up per entry.
    static constexpr std::chrono::milliseconds kGather{20};

    void Run();
    // The entries sent; none when the connection broke: it is gone then.
    std::optional<size_t> SendQueued(std::unique_ptr<ISyslogConnection>& connection);
    void SendDroppedNotice(ISyslogConnection& connection);
    void Fail(const std::exception& error);
    bool Ending() const;
    // The connection's `GiveUp`: the grace is over, or the sender is stopped.
    bool GivingUp() const;
    void PauseBeforeRetry(std::chrono::milliseconds pause);
    void Gather();
    // The sender thread's own.
    int UtcOffset(const LocalDateTime& time);

    TForwardQueue& queue_;
    const SyslogAddress address_;
    const SyslogConnector connect_;
    const SyslogOrigin origin_;
    const std::function<int(const LocalDateTime&)> utcOffset_;
    uint32_t offsetHour_ = UINT32_MAX;
    int offset_ = 0;

    mutable std::mutex lock_;
    std::condition_variable stopChanged_;
    SenderStatus status_;
    bool stopNow_ = false;
    bool finishing_ = false;
    std::chrono::steady_clock::time_point finishBy_;
    std::thread thread_;
};

}  // namespace norvale
