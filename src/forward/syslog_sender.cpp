#include "forward/syslog_sender.h"

#include <algorithm>
#include <vector>

namespace norvale {

namespace {

// How long the thread waits for entries before it looks again whether to end
// or whether the collector closed its side.
constexpr std::chrono::milliseconds kIdleLook{200};

}  // namespace

std::chrono::milliseconds TRetryPause::Next() {
    const std::chrono::milliseconds pause = next_;
    next_ = std::min(next_ * 2, kLongest);
    return pause;
}

TSyslogSender::TSyslogSender(TForwardQueue& queue, SyslogAddress address, SyslogConnector connect,
                             SyslogOrigin origin, std::function<int(const LocalDateTime&)> utcOffset)
    : queue_(queue),
      address_(std::move(address)),
      connect_(std::move(connect)),
      origin_(std::move(origin)),
      utcOffset_(std::move(utcOffset)),
      thread_([this] { Run(); }) {}

TSyslogSender::~TSyslogSender() {
    {
        std::lock_guard lock(lock_);
        stopNow_ = true;
    }
    stopChanged_.notify_all();
    queue_.Wake();
    if (thread_.joinable()) thread_.join();
}

void TSyslogSender::Finish(std::chrono::milliseconds grace) {
    {
        std::lock_guard lock(lock_);
        finishing_ = true;
        finishBy_ = std::chrono::steady_clock::now() + grace;
    }
    stopChanged_.notify_all();
    queue_.Wake();
    if (thread_.joinable()) thread_.join();
}

SenderStatus TSyslogSender::Status() const {
    std::lock_guard lock(lock_);
    return status_;
}

bool TSyslogSender::GivingUp() const {
    std::lock_guard lock(lock_);
    return stopNow_ || (finishing_ && std::chrono::steady_clock::now() >= finishBy_);
}

bool TSyslogSender::Ending() const {
    std::lock_guard lock(lock_);
    if (stopNow_) return true;
    return finishing_ && (std::chrono::steady_clock::now() >= finishBy_ || queue_.Counts().queued == 0);
}

void TSyslogSender::PauseBeforeRetry(std::chrono::milliseconds pause) {
    std::unique_lock lock(lock_);
    auto until = std::chrono::steady_clock::now() + pause;
    if (finishing_) until = std::min(until, finishBy_);
    stopChanged_.wait_until(lock, until, [&] { return stopNow_; });
}

// Ends early to finish: what is queued then goes out at once.
void TSyslogSender::Gather() {
    std::unique_lock lock(lock_);
    stopChanged_.wait_for(lock, kGather, [&] { return stopNow_ || finishing_; });
}

void TSyslogSender::Fail(const std::exception& error) {
    std::lock_guard lock(lock_);
    status_.connected = false;
    status_.problem = error.what();
}

void TSyslogSender::Run() {
    TRetryPause pause;
    std::unique_ptr<ISyslogConnection> connection;
    while (!Ending()) {
        if (!connection) {
            try {
                connection = connect_(address_, [this] { return GivingUp(); });
            } catch (const std::exception& error) {
                Fail(error);
                PauseBeforeRetry(pause.Next());
                continue;
            }
            std::lock_guard lock(lock_);
            status_.connected = true;
            status_.problem.clear();
        }
        const std::optional<size_t> sent = SendQueued(connection);
        if (!sent) {
            PauseBeforeRetry(pause.Next());
            continue;
        }
        if (*sent > 0) pause.Reset();
        if (*sent > 0 && *sent < kBatch) Gather();
    }
    std::lock_guard lock(lock_);
    if (finishing_) queue_.DropAll();
}

void TSyslogSender::SendDroppedNotice(ISyslogConnection& connection) {
    const uint64_t dropped = queue_.Unreported();
    const LocalDateTime now = LocalNow();
    std::string message = FormatDroppedNotice(dropped, now, UtcOffset(now), origin_);
    if (address_.transport == SyslogTransport::Tcp) message = FramedForTcp(message);
    size_t written = 0;
    connection.Send(message, written);
    queue_.Reported(dropped);
}

int TSyslogSender::UtcOffset(const LocalDateTime& time) {
    // Offsets change on the hour at most (a new time zone rule, daylight
    // saving), and asking the system costs more than a message.
    const uint32_t hour = ((time.year * 13u + time.month) * 32u + time.day) * 24u + time.time.hour;
    if (hour != offsetHour_) {
        offsetHour_ = hour;
        offset_ = utcOffset_(time);
    }
    return offset_;
}

std::optional<size_t> TSyslogSender::SendQueued(std::unique_ptr<ISyslogConnection>& connection) {
    std::vector<TForwardQueue::Entry> batch = queue_.Take(kBatch, kBatchBytes, kIdleLook);
    // The entries that went out whole. A stream takes the batch in one
    // write: of a broken one, the frames that ended before the break count.
    size_t sent = 0;
    std::vector<size_t> frameEnds;
    size_t written = 0;
    try {
        // Right before the write: the wait for entries may have been long.
        if (connection->PeerClosed()) throw ESyslogError("the collector closed the connection");
        if (queue_.Unreported() > 0) SendDroppedNotice(*connection);
        if (address_.transport == SyslogTransport::Udp) {
            for (const auto& entry : batch) {
                std::string message = FormatSyslogMessage(*entry, UtcOffset(entry->time), origin_);
                if (CutForDatagram(message)) {
                    std::lock_guard lock(lock_);
                    ++status_.cut;
                }
                connection->Send(message, written);
                ++sent;
            }
        } else {
            std::string bytes;
            for (const auto& entry : batch) {
                bytes += FramedForTcp(FormatSyslogMessage(*entry, UtcOffset(entry->time), origin_));
                frameEnds.push_back(bytes.size());
            }
            if (!bytes.empty()) connection->Send(bytes, written);
            sent = batch.size();
        }
    } catch (const std::exception& error) {
        if (!frameEnds.empty()) {
            sent = static_cast<size_t>(std::upper_bound(frameEnds.begin(), frameEnds.end(), written) -
                                       frameEnds.begin());
        }
        queue_.Settle(std::move(batch), sent);
        Fail(error);
        connection.reset();
        return std::nullopt;
    }
    queue_.Settle(std::move(batch), sent);
    return sent;
}

}  // namespace norvale
