// Forwarding to a real rsyslog on 127.0.0.1: every field as sent over TCP and
// over UDP, and a collector stopped and started again that loses nothing
// queued meanwhile and gets nothing twice.

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "forward/syslog_sender.h"
#include "tests_support/wait_until.h"
#include "tests_support/rsyslog.h"

namespace norvale {
namespace {

template <typename Condition>
bool Within20s(Condition done) {
    return test::WaitUntil(done, std::chrono::seconds(20));
}

std::shared_ptr<ForwardedEntry> Entry(std::wstring text) {
    static const auto source = std::make_shared<TraceSource>(TraceSource{L"P", L"M", L"TC", L"WS12", 42});
    auto entry = std::make_shared<ForwardedEntry>();
    entry->source = source;
    entry->className = source->Class;
    entry->code = 10;
    entry->time = LocalDateTime{2026, 12, 8, TimeOfDay{14, 3, 27, 512}};
    entry->text = std::move(text);
    return entry;
}

size_t Count(const std::string& text, const std::string& part) {
    size_t count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
    return count;
}

class RsyslogTest : public testing::Test {
protected:
    void SetUp() override {
        if (!test::TRsyslog::Available()) GTEST_SKIP() << "no rsyslogd here: ./norvale setup installs it";
    }
};

TEST_F(RsyslogTest, EveryFieldArrivesOverTcpAndUdp) {
    test::TRsyslog rsyslog;
    ASSERT_TRUE(rsyslog.Start());
    for (const auto& [transport, port, name] :
         {std::tuple{SyslogTransport::Tcp, rsyslog.TcpPort(), L"tcp"}, {SyslogTransport::Udp, rsyslog.UdpPort(), L"udp"}}) {
        TForwardQueue queue;
        TSyslogSender sender(queue, {transport, "127.0.0.1", port}, ConnectSyslog, {"PC"}, UtcOffsetMinutes);
        auto entry = Entry(L"Gr\u00fc\u00dfe \u4e2d\u6587 \U0001F600 " + std::wstring(name));
        entry->kind = MessageKind::Block;
        entry->lines = {L"a", L"b"};
        queue.Push(entry);
        sender.Finish(std::chrono::seconds(5));
        EXPECT_EQ(queue.Counts().sent, 1u);
    }
    const std::string fields =
        "|WS12|Norvale|42|block|[norvale@32473 project=\"P\" module=\"M\" class=\"TC\" thread=\"00000000\" "
        "code=\"0000000a\"]|";
    for (const char* name : {"tcp", "udp"}) {
        const std::string message = "Gr\xC3\xBC\xC3\x9F" "e \xE4\xB8\xAD\xE6\x96\x87 \xF0\x9F\x98\x80 " +
                                    std::string(name) + "\na\nb\n";
        ASSERT_TRUE(Within20s([&] { return rsyslog.Received().find(message) != std::string::npos; }))
            << "rsyslog did not write the " << name << " message; it has:\n" << rsyslog.Received();
        EXPECT_NE(rsyslog.Received().find(fields), std::string::npos) << rsyslog.Received();
    }
}

TEST_F(RsyslogTest, ACollectorBackAfterAStopGetsEveryEntryOnce) {
    test::TRsyslog rsyslog;
    ASSERT_TRUE(rsyslog.Start());
    TForwardQueue queue;
    TSyslogSender sender(queue, {SyslogTransport::Tcp, "127.0.0.1", rsyslog.TcpPort()}, ConnectSyslog, {"PC"},
                         UtcOffsetMinutes);
    const auto push = [&](int from, int to) {
        for (int i = from; i < to; ++i) queue.Push(Entry(L"entry " + std::to_wstring(i) + L"."));
    };
    push(0, 100);
    ASSERT_TRUE(Within20s([&] { return Count(rsyslog.Received(), "entry 99.") == 1; })) << "the first entries";
    ASSERT_TRUE(rsyslog.Stop());
    push(100, 200);
    // The collector's outage, long enough for the pause between attempts to
    // reach its longest.
    std::this_thread::sleep_for(std::chrono::seconds(5));
    ASSERT_TRUE(rsyslog.Start());
    push(200, 300);
    ASSERT_TRUE(Within20s([&] { return Count(rsyslog.Received(), "entry 299.") == 1; })) << "the last entry";
    sender.Finish(std::chrono::seconds(5));
    const std::string received = rsyslog.Received();
    for (int i = 0; i < 300; ++i) {
        EXPECT_EQ(Count(received, "entry " + std::to_string(i) + ".\n"), 1u) << "entry " << i;
    }
}

}  // namespace
}  // namespace norvale
