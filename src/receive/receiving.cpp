#include "receive/receiving.h"

#include "receive/listen_address.h"
#include "receive/sender_allow.h"

namespace norvale {

TReceiving::TReceiving(TOutputStage& stage, ReceiveLimits limits, MessageProbe probe)
    : dispatch_(queue_, stage), receiver_(std::make_unique<TSyslogReceiver>(queue_, limits, std::move(probe))) {}

void TReceiving::ApplyOptions(const OptionsSettings& options) {
    std::lock_guard lock(lock_);
    if (!receiver_ ||
        (options.ListenSyslog == on_ && options.ListenAddress == address_ && options.ListenAllow == allow_)) {
        return;
    }
    on_ = options.ListenSyslog;
    address_ = options.ListenAddress;
    allow_ = options.ListenAllow;
    problem_.clear();
    if (!on_) {
        receiver_->Listen({});
        return;
    }
    ParsedListenAddress parsed = ParseListenAddress(address_);
    ParsedSenderAllow allowed = ParseSenderAllow(allow_);
    problem_ = std::move(parsed.problem);
    // A list that does not parse lets nobody in rather than everyone: its
    // user meant to keep senders out.
    if (problem_.empty() && !allowed.problem.empty()) {
        problem_ = std::move(allowed.problem);
        parsed.endpoints.clear();
    }
    receiver_->Listen(std::move(parsed.endpoints), std::move(allowed.allow));
}

void TReceiving::Stop() {
    std::unique_ptr<TSyslogReceiver> receiver;
    {
        std::lock_guard lock(lock_);
        receiver = std::move(receiver_);
    }
    receiver.reset();
    dispatch_.Stop();
}

// The problem is the options' first: an address that does not parse is
// listened on nowhere.
ReceiveStatus TReceiving::Status() const {
    std::lock_guard lock(lock_);
    ReceiveStatus status;
    if (receiver_) status = receiver_->Status();
    status.counts.shortened = dispatch_.Shortened();
    status.on = on_;
    if (!problem_.empty()) status.problem = problem_;
    return status;
}

}  // namespace norvale
