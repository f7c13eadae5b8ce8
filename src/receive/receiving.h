#pragma once

// Receiving as the process has it: it follows the options (`ListenSyslog`,
// `ListenAddress`, `ListenAllow`) and hands what the receiving thread queues to the
// dispatch's thread. Neither thread is made again at a change of options:
// the receiving thread takes the new addresses at its next look, so the
// options' refresh, which calls in under the output lock, never waits.

#include <memory>
#include <mutex>
#include <string>

#include "output/options_follower.h"
#include "output/output_stage.h"
#include "receive/receive_queue.h"
#include "receive/received_dispatch.h"
#include "receive/syslog_receiver.h"

namespace norvale {

class TReceiving final : public IOptionsFollower {
public:
    explicit TReceiving(TOutputStage& stage, ReceiveLimits limits = {}, MessageProbe probe = {});
    TReceiving(const TReceiving&) = delete;
    TReceiving& operator=(const TReceiving&) = delete;

    void ApplyOptions(const OptionsSettings& options) override;
    // Stops receiving and dispatches what was received.
    void Stop();

    // Never waits for the threads.
    ReceiveStatus Status() const;

private:
    mutable std::mutex lock_;
    bool on_ = false;         // under the lock
    std::string address_;     // under the lock
    std::string allow_;       // under the lock
    std::string problem_;     // of the options, under the lock
    // Declared in the order they must end: what receives first, the dispatch
    // of what it received after it.
    TReceiveQueue queue_;
    TReceivedDispatch dispatch_;
    std::unique_ptr<TSyslogReceiver> receiver_;
};

}  // namespace norvale
