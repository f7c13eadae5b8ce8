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
    for (TRetiring& retiring : retiring_) retiring.thread.join();
}

void TForwarding::ApplyOptions(const OptionsSettings& options) {
    std::lock_guard lock(lock_);
    const bool same = sending_ && options.ToSyslog && sending_->server == options.SyslogServer;
    if (same) return;
    problem_.clear();
    copyCharacters_ = 0;
    if (sending_) Retire(std::move(sending_));
    if (!options.ToSyslog) return;
    const ParsedSyslogServer parsed = ParseSyslogServer(options.SyslogServer);
    if (!parsed.address) {
        problem_ = parsed.problem;
        return;
    }
    auto sending = std::make_unique<TSending>();
    sending->server = options.SyslogServer;
    if (parsed.address->transport == SyslogTransport::Udp) sending->mostCharacters = kMaxDatagram;
    sending->queue = std::make_unique<TForwardQueue>();
    sending->sender =
        std::make_unique<TSyslogSender>(*sending->queue, *parsed.address, connect_, origin_, UtcOffsetMinutes);
    copyCharacters_ = sending->mostCharacters;
    sending_ = std::move(sending);
}

// Under `lock_`. Senders that finished are folded into the counts first, so
// that turning forwarding on and off keeps no thread per change.
void TForwarding::Retire(std::unique_ptr<TSending> sending) {
    for (auto it = retiring_.begin(); it != retiring_.end();) {
        if (!it->done) {
            ++it;
            continue;
        }
        it->thread.join();
        it = retiring_.erase(it);
    }
    TRetiring& retiring = retiring_.emplace_back();
    retiring.sending = std::move(sending);
    TSending* const finishing = retiring.sending.get();
    retiring.thread = std::thread([this, &retiring, finishing] {
        finishing->sender->Finish(kGrace);
        std::unique_ptr<TSending> ended;
        {
            std::lock_guard lock(lock_);
            Count(*finishing, retired_);
            ended = std::move(retiring.sending);
        }
        // Freed outside the lock: a full queue takes a while.
        ended.reset();
        retiring.done = true;
    });
}

SenderStatus TForwarding::Count(const TSending& sending, ForwardStatus& status) {
    const ForwardCounts counts = sending.queue->Counts();
    status.counts.sent += counts.sent;
    status.counts.queued += counts.queued;
    status.counts.dropped += counts.dropped;
    SenderStatus sender = sending.sender->Status();
    status.cut += sender.cut;
    return sender;
}

void TForwarding::Append(const TraceEntry& entry) noexcept {
    const size_t mostCharacters = copyCharacters_;
    if (mostCharacters == 0) return;
    try {
        auto copy = std::make_shared<const ForwardedEntry>(ForwardedEntryOf(entry, mostCharacters));
        std::lock_guard lock(lock_);
        if (!sending_) return;
        // Another transport came meanwhile: the copy is made again for it.
        if (sending_->mostCharacters != mostCharacters) {
            copy = std::make_shared<const ForwardedEntry>(ForwardedEntryOf(entry, sending_->mostCharacters));
        }
        sending_->queue->Push(std::move(copy));
    } catch (const std::exception&) {
        // Out of memory: the entry is not forwarded, and says so in the
        // counts; the other outputs still get it.
        std::lock_guard lock(lock_);
        if (sending_) sending_->queue->CountDropped();
    }
}

// The problem is the options' or the current sender's: an old sender's
// failures no longer matter.
ForwardStatus TForwarding::Status() const {
    std::lock_guard lock(lock_);
    ForwardStatus status = retired_;
    for (const TRetiring& retiring : retiring_) {
        if (retiring.sending) Count(*retiring.sending, status);
    }
    status.on = sending_ != nullptr;
    status.problem = problem_;
    if (sending_) {
        SenderStatus sender = Count(*sending_, status);
        if (status.problem.empty()) status.problem = std::move(sender.problem);
    }
    return status;
}

}  // namespace norvale
