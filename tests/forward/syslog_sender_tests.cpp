// The sender, and forwarding as the options switch it, against a collector
// of the test's own that can be unreachable or close its side.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

#include "forward/forwarding.h"
#include "forward/syslog_sender.h"
#include "tests_support/wait_until.h"
#include "tests_support/trace_entries.h"

namespace norvale {
namespace {

struct FakeCollector {
    std::mutex lock;
    std::vector<std::string> received;  // the framed messages' texts
    std::atomic<bool> reachable{true};
    std::atomic<bool> closed{false};

    std::vector<std::string> Received() {
        std::lock_guard guard(lock);
        return received;
    }
};

class FakeConnection final : public ISyslogConnection {
public:
    explicit FakeConnection(FakeCollector& collector) : collector_(collector) {}
    void Send(std::string_view bytes, size_t& written) override {
        if (collector_.closed) throw ESyslogError("broken");
        written = bytes.size();
        std::lock_guard guard(collector_.lock);
        // Octet counting: each frame's length, a space, the message.
        while (!bytes.empty()) {
            const size_t space = bytes.find(' ');
            const size_t length = std::stoul(std::string(bytes.substr(0, space)));
            collector_.received.emplace_back(bytes.substr(space + 1, length));
            bytes.remove_prefix(space + 1 + length);
        }
    }
    bool PeerClosed() override { return collector_.closed; }

private:
    FakeCollector& collector_;
};

std::string MessageOf(const std::string& received) { return received.substr(received.rfind("\xEF\xBB\xBF") + 3); }

template <typename Condition>
bool Within20s(Condition done) {
    return test::WaitUntil(done, std::chrono::seconds(20));
}

TEST(RetryPauseTest, DoublesFromATenthOfASecondToFiveSeconds) {
    TRetryPause pause;
    std::vector<long long> pauses;
    for (int i = 0; i < 8; ++i) pauses.push_back(pause.Next().count());
    EXPECT_EQ(pauses, (std::vector<long long>{100, 200, 400, 800, 1600, 3200, 5000, 5000}));
    pause.Reset();
    EXPECT_EQ(pause.Next().count(), 100);
}

// A collector that goes away and comes back gets every entry once, after a
// notice of those the queue's bound dropped meanwhile; at the end, what the
// grace period cannot send is dropped and counted.
TEST(SyslogSenderTest, ReconnectsSendsEachEntryOnceAndTellsOfTheDropped) {
    FakeCollector collector;
    TForwardQueue queue(3);
    const auto push = [&](const wchar_t* text) {
        auto entry = std::make_shared<ForwardedEntry>();
        entry->text = text;
        queue.Push(entry);
    };
    TSyslogSender sender(
        queue, SyslogAddress{SyslogTransport::Tcp, "collector", 514},
        [&](const SyslogAddress&) -> std::unique_ptr<ISyslogConnection> {
            if (!collector.reachable) throw ESyslogError("unreachable");
            collector.closed = false;
            return std::make_unique<FakeConnection>(collector);
        },
        SyslogOrigin{"PC"}, [](const LocalDateTime&) { return 0; });
    push(L"one");
    ASSERT_TRUE(Within20s([&] { return collector.Received().size() == 1; })) << "the first entry did not arrive";
    collector.reachable = false;
    collector.closed = true;
    for (const wchar_t* text : {L"a", L"b", L"c", L"d", L"e"}) push(text);
    ASSERT_TRUE(Within20s([&] { return sender.Status().problem == "unreachable"; })) << "no failed reconnect";
    collector.reachable = true;
    ASSERT_TRUE(Within20s([&] { return collector.Received().size() == 5; })) << "the entries did not come again";
    std::vector<std::string> messages;
    for (const std::string& received : collector.Received()) messages.push_back(MessageOf(received));
    EXPECT_EQ(messages, (std::vector<std::string>{"one", "Norvale: 2 messages dropped while the collector was "
                                                  "unreachable", "c", "d", "e"}));
    EXPECT_TRUE(sender.Status().connected);

    collector.reachable = false;
    collector.closed = true;
    push(L"never");
    sender.Finish(std::chrono::milliseconds(300));
    const ForwardCounts counts = queue.Counts();
    EXPECT_EQ(std::vector<uint64_t>({counts.sent, counts.queued, counts.dropped}), std::vector<uint64_t>({4, 0, 3}));
}

// The options start, move and stop the sending; a server text that does not
// parse says why, and the counts run on over every sender.
TEST(ForwardingTest, FollowsTheOptionsAndCountsOverEverySender) {
    FakeCollector collector;
    TForwarding forwarding(SyslogOrigin{"PC"}, [&](const SyslogAddress& address) -> std::unique_ptr<ISyslogConnection> {
        if (address.port != 514) throw ESyslogError("unreachable");
        return std::make_unique<FakeConnection>(collector);
    });
    OptionsSettings options;
    options.ToSyslog = true;
    options.SyslogServer = "tcp://collector";
    forwarding.ApplyOptions(options);
    forwarding.Append(test::MakeEntry(nullptr, L"first"));
    ASSERT_TRUE(Within20s([&] { return forwarding.Status().counts.sent == 1; })) << "the first entry was not sent";
    options.SyslogServer = "tcp://collector:1";
    forwarding.ApplyOptions(options);
    forwarding.Append(test::MakeEntry(nullptr, L"never"));
    ASSERT_TRUE(Within20s([&] { return forwarding.Status().problem == "unreachable"; })) << "no failure shown";
    options.SyslogServer = "collector";
    forwarding.ApplyOptions(options);
    const ForwardStatus status = forwarding.Status();
    EXPECT_FALSE(status.on);
    EXPECT_EQ(status.problem, ParseSyslogServer("collector").problem);
    options.ToSyslog = false;
    forwarding.ApplyOptions(options);
    EXPECT_TRUE(Within20s([&] { return forwarding.Status().counts.dropped == 1; })) << "the unsent entry not dropped";
    EXPECT_EQ(forwarding.Status().problem, "");
    EXPECT_EQ(collector.Received().size(), 1u);
}

}  // namespace
}  // namespace norvale
