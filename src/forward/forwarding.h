#pragma once

// Forwarding as the process has it: it follows the options (`ToSyslog`,
// `SyslogServer`) and takes every entry the dispatch hands it into the
// current sender's queue. Turning it off, or another address, lets the old
// sender send what it holds for up to the grace on a thread of its own, so
// the dispatch, which calls in under the output lock, never waits for it; the
// old sender's memory goes as soon as it ended. The entry's copy is made
// before forwarding's lock is taken, which the status readers on the main
// thread share, and those take it only for moments.

#include <atomic>
#include <chrono>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "forward/forward_status.h"
#include "forward/syslog_sender.h"
#include "output/trace_entry.h"

namespace norvale {

class TForwarding final : public IEntrySink {
public:
    // What a sender still sends when it is turned off, and what the
    // process's end waits for forwarding at most.
    static constexpr std::chrono::seconds kGrace{2};

    TForwarding(SyslogOrigin origin, SyslogConnector connect = ConnectSyslog);
    // Sends what is queued for up to the grace period.
    ~TForwarding() override;
    TForwarding(const TForwarding&) = delete;
    TForwarding& operator=(const TForwarding&) = delete;

    void ApplyOptions(const OptionsSettings& options) override;
    void Append(const TraceEntry& entry) noexcept override;

    // Counts since the process started, over every sender it had.
    ForwardStatus Status() const;

private:
    struct TSending {
        std::string server;
        // Of the text, what the transport can carry.
        size_t mostCharacters = SIZE_MAX;
        std::unique_ptr<TForwardQueue> queue;
        std::unique_ptr<TSyslogSender> sender;
    };
    // An old sender finishing on its own thread: its sending is counted and
    // freed by that thread as it ends, the thread joined at the next change.
    struct TRetiring {
        std::unique_ptr<TSending> sending;  // under `lock_`
        std::atomic<bool> done{false};
        std::thread thread;
    };
    void Retire(std::unique_ptr<TSending> sending);
    // Adds the sending's counts; gives its sender's state, read once.
    static SenderStatus Count(const TSending& sending, ForwardStatus& status);

    const SyslogOrigin origin_;
    const SyslogConnector connect_;
    mutable std::mutex lock_;
    std::unique_ptr<TSending> sending_;
    // `sending_->mostCharacters`, or 0 while there is none: read without the
    // lock to make the copy before it.
    std::atomic<size_t> copyCharacters_{0};
    std::string problem_;  // of the options
    ForwardStatus retired_;  // the counts of pruned senders
    std::list<TRetiring> retiring_;
};

}  // namespace norvale
