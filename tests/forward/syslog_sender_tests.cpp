// The sender, and forwarding as the options switch it, against a collector
// of the test's own that can be unreachable or close its side.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

#include "forward/address_lookup.h"
#include "forward/forwarding.h"
#include "forward/syslog_sender.h"
#include "tests_support/stuck_collector.h"
#include "tests_support/wait_until.h"
#include "tests_support/trace_entries.h"

namespace norvale {
namespace {

struct FakeCollector {
    std::mutex lock;
    std::vector<std::string> received;  // the framed messages' texts
    std::atomic<bool> reachable{true};
    std::atomic<bool> closed{false};
    // The next send of more frames writes this many whole, then breaks.
    std::atomic<int> breakAfterFrames{-1};

    std::vector<std::string> Received() {
        std::lock_guard guard(lock);
        return received;
    }
};

class FakeConnection final : public ISyslogConnection {
public:
    explicit FakeConnection(FakeCollector& collector) : collector_(collector) {}
    void Send(std::string_view bytes, size_t& written) override {
        written = 0;
        if (collector_.closed) throw ESyslogError("broken");
        std::lock_guard guard(collector_.lock);
        // Octet counting: each frame's length, a space, the message.
        const int breakAfter = collector_.breakAfterFrames;
        for (int frames = 0; written < bytes.size(); ++frames) {
            if (frames == breakAfter) {
                collector_.breakAfterFrames = -1;
                throw ESyslogError("broken after a frame");
            }
            const size_t space = bytes.find(' ', written);
            const size_t length = std::stoul(std::string(bytes.substr(written, space - written)));
            collector_.received.emplace_back(bytes.substr(space + 1, length));
            written = space + 1 + length;
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
        [&](const SyslogAddress&, const GiveUp&) -> std::unique_ptr<ISyslogConnection> {
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
    // The write of c, d and e takes c whole and breaks: c never goes again.
    collector.breakAfterFrames = 1;
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

// A collector that takes the connection and drops it at every message: the
// pause before the next attempt grows as if it refused (0.1, 0.2, 0.4 s...).
TEST(SyslogSenderTest, ThePauseGrowsWhileConnectingWorksButSendingFails) {
    FakeCollector collector;
    collector.closed = true;
    std::mutex lock;
    std::vector<std::chrono::steady_clock::time_point> attempts;
    TForwardQueue queue;
    TSyslogSender sender(
        queue, SyslogAddress{SyslogTransport::Tcp, "collector", 514},
        [&](const SyslogAddress&, const GiveUp&) -> std::unique_ptr<ISyslogConnection> {
            std::lock_guard guard(lock);
            attempts.push_back(std::chrono::steady_clock::now());
            return std::make_unique<FakeConnection>(collector);
        },
        SyslogOrigin{"PC"}, [](const LocalDateTime&) { return 0; });
    queue.Push(std::make_shared<ForwardedEntry>());
    ASSERT_TRUE(Within20s([&] {
        std::lock_guard guard(lock);
        return attempts.size() >= 4;
    })) << "four attempts to connect";
    std::lock_guard guard(lock);
    // A wait never ends early, so the fourth pause is at least 0.8 s.
    EXPECT_GE(attempts[3] - attempts[2], std::chrono::milliseconds(350)) << "the pause started again at 0.1 s";
}

// Real sockets on 127.0.0.1: a collector that takes the connection and never
// reads, and one whose backlog is full.
TEST(SyslogSenderTest, FinishingEndsWithinItsGraceWhateverTheCollectorHoldsUp) {
    for (const bool backlogFull : {false, true}) {
        const test::TStuckCollector collector(backlogFull);
        TForwardQueue queue;
        TSyslogSender sender(queue, SyslogAddress{SyslogTransport::Tcp, "127.0.0.1", collector.Port()},
                             ConnectSyslog, SyslogOrigin{"PC"}, [](const LocalDateTime&) { return 0; });
        // Far more than the sockets' buffers take.
        const uint64_t pushed = 1000;
        for (uint64_t i = 0; i < pushed; ++i) {
            auto entry = std::make_shared<ForwardedEntry>();
            entry->text.assign(10000, L'x');
            queue.Push(entry);
        }
        std::atomic<bool> finished{false};
        std::thread finishing([&] {
            sender.Finish(std::chrono::milliseconds(300));
            finished = true;
        });
        ASSERT_TRUE(test::WaitUntil([&] { return finished.load(); }, std::chrono::seconds(20)))
            << "Finish did not return within 20 s, the backlog " << (backlogFull ? "full" : "free");
        finishing.join();
        const ForwardCounts counts = queue.Counts();
        EXPECT_EQ(counts.queued, 0u);
        EXPECT_EQ(counts.sent + counts.dropped, pushed) << counts.sent << " sent, " << counts.dropped << " dropped";
    }
}

// A lookup that never ends holds nobody: the asker gives up when told, and
// the lookup's thread ends by itself.
TEST(AddressLookupTest, AskerGivesUpOnALookupThatNeverEnds) {
    const auto release = std::make_shared<std::atomic<bool>>(false);
    const auto stuck = [release](const std::string&, uint16_t, bool) {
        test::WaitUntil([&] { return release->load(); }, std::chrono::seconds(20));
        return std::vector<ResolvedAddress>{};
    };
    EXPECT_THROW(LookUpDetached(stuck, "collector", 514, true, [] { return true; }), ESyslogError);
    *release = true;
}

// The options start, move and stop the sending; a server text that does not
// parse says why, and the counts run on over every sender.
TEST(ForwardingTest, FollowsTheOptionsAndCountsOverEverySender) {
    FakeCollector collector;
    const auto held = std::make_shared<int>();
    TForwarding forwarding(SyslogOrigin{"PC"},
                           [&, held](const SyslogAddress& address, const GiveUp&) -> std::unique_ptr<ISyslogConnection> {
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
    // An entry whose copy cannot be made counts as dropped.
    forwarding.Append(test::MakeEntry(nullptr, std::wstring_view(L"x", SIZE_MAX / 2)));
    ASSERT_TRUE(Within20s([&] { return forwarding.Status().problem == "unreachable"; })) << "no failure shown";
    options.SyslogServer = "collector";
    forwarding.ApplyOptions(options);
    const ForwardStatus status = forwarding.Status();
    EXPECT_FALSE(status.on);
    EXPECT_EQ(status.problem, ParseSyslogServer("collector").problem);
    options.ToSyslog = false;
    forwarding.ApplyOptions(options);
    EXPECT_TRUE(Within20s([&] { return forwarding.Status().counts.dropped == 2; })) << "the unsent entries not dropped";
    EXPECT_EQ(forwarding.Status().problem, "");
    EXPECT_EQ(collector.Received().size(), 1u);
    // Forwarding's own copy of the connector, and the test's: every retired
    // sender freed its own.
    EXPECT_TRUE(Within20s([&] { return held.use_count() == 2; })) << "a retired sender still held: " << held.use_count();
}

}  // namespace
}  // namespace norvale
