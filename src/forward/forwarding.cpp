#include "forward/forwarding.h"

namespace norvale {

TForwarding::TForwarding(SyslogOrigin origin, SyslogConnector connect)
    : origin_(std::move(origin)), connect_(std::move(connect)) {}

TForwarding::~TForwarding() {
    std::unique_ptr<TSending> last;
    {
        std::lock_guard lock(lock_);
        last = std::move(sending_);
    }
    if (last) last->sender->Finish(kGrace);
    for (std::thread& thread : retiring_) thread.join();
}

void TForwarding::ApplyOptions(const OptionsSettings& options) {
    std::lock_guard lock(lock_);
    const bool same = sending_ && options.ToSyslog && sending_->server == options.SyslogServer;
    if (same) return;
    problem_.clear();
    if (sending_) Retire(std::move(sending_));
    if (!options.ToSyslog) return;
    const ParsedSyslogServer parsed = ParseSyslogServer(options.SyslogServer);
    if (!parsed.address) {
        problem_ = parsed.problem;
        return;
    }
    auto sending = std::make_unique<TSending>();
    sending->server = options.SyslogServer;
    sending->queue = std::make_unique<TForwardQueue>();
    sending->sender =
        std::make_unique<TSyslogSender>(*sending->queue, *parsed.address, connect_, origin_, UtcOffsetMinutes);
    sending_ = std::move(sending);
}

// Under `lock_`.
void TForwarding::Retire(std::unique_ptr<TSending> sending) {
    retiring_.emplace_back([this, sending = std::shared_ptr<TSending>(std::move(sending))] {
        sending->sender->Finish(kGrace);
        const ForwardCounts counts = sending->queue->Counts();
        std::lock_guard lock(lock_);
        retired_.sent += counts.sent;
        retired_.dropped += counts.dropped;
    });
}

void TForwarding::Append(const TraceEntry& entry) noexcept {
    try {
        std::lock_guard lock(lock_);
        if (sending_) sending_->queue->Push(std::make_shared<const ForwardedEntry>(ForwardedEntryOf(entry)));
    } catch (const std::exception&) {
        // Out of memory: the entry is not forwarded; the other outputs still get it.
    }
}

ForwardStatus TForwarding::Status() const {
    std::lock_guard lock(lock_);
    ForwardStatus status;
    status.on = sending_ != nullptr;
    status.counts = retired_;
    status.problem = problem_;
    if (sending_) {
        const ForwardCounts current = sending_->queue->Counts();
        status.counts.sent += current.sent;
        status.counts.queued = current.queued;
        status.counts.dropped += current.dropped;
        if (status.problem.empty()) status.problem = sending_->sender->Status().problem;
    }
    return status;
}

}  // namespace norvale
