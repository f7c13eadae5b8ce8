// The sender and a real rsyslog on 127.0.0.1 that is stopped and started
// again: nothing queued meanwhile is lost, nothing arrives twice. (Every field
// over TCP and UDP is the server's test, from real clients.)

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "forward/syslog_sender.h"
#include "tests_support/wait_until.h"
#include "tests_support/rsyslog.h"

namespace norvale {
namespace {

std::shared_ptr<ForwardedEntry> Entry(std::wstring text) {
    static const auto source = std::make_shared<TraceSource>(TraceSource{L"P", L"M", L"TC", L"WS12", 42});
    auto entry = std::make_shared<ForwardedEntry>();
    entry->source = source;
    entry->time = LocalDateTime{2026, 12, 8, TimeOfDay{14, 3, 27, 512}};
    entry->text = std::move(text);
    return entry;
}

TEST(RsyslogTest, ACollectorBackAfterAStopGetsEveryEntryOnce) {
    if (!test::TRsyslog::Available()) GTEST_SKIP() << "no rsyslogd here: ./norvale setup installs it";
    test::TRsyslog rsyslog;
    ASSERT_TRUE(rsyslog.Start());
    TForwardQueue queue;
    TSyslogSender sender(queue, {SyslogTransport::Tcp, "127.0.0.1", rsyslog.TcpPort()}, ConnectSyslog, {"PC"},
                         UtcOffsetMinutes);
    const auto push = [&](int from, int to) {
        for (int i = from; i < to; ++i) queue.Push(Entry(L"entry " + std::to_wstring(i) + L"."));
    };
    push(0, 100);
    const auto arrived = [&](const char* last) {
        return test::WaitUntil([&] { return test::Occurrences(rsyslog.Received(), last) == 1; },
                               std::chrono::seconds(20));
    };
    ASSERT_TRUE(arrived("entry 99.")) << "the first entries within 20 s";
    ASSERT_TRUE(rsyslog.Stop());
    push(100, 200);
    // The collector's outage, long enough for the pause between attempts to
    // reach its longest.
    std::this_thread::sleep_for(std::chrono::seconds(5));
    ASSERT_TRUE(rsyslog.Start());
    push(200, 300);
    ASSERT_TRUE(arrived("entry 299.")) << "the last entry within 20 s";
    sender.Finish(std::chrono::seconds(5));
    const std::string received = rsyslog.Received();
    for (int i = 0; i < 300; ++i) {
        EXPECT_EQ(test::Occurrences(received, "entry " + std::to_string(i) + ".\n"), 1u) << "entry " << i;
    }
}

// Names of 5,000 characters, some doubled by escaping or wider in UTF-8, over
// UDP: each datagram is cut in its text, so rsyslog reads its fields.
TEST(RsyslogTest, DatagramsWithLongNamesKeepTheirStructuredData) {
    if (!test::TRsyslog::Available()) GTEST_SKIP() << "no rsyslogd here: ./norvale setup installs it";
    test::TRsyslog rsyslog;
    ASSERT_TRUE(rsyslog.Start());
    TForwardQueue queue;
    TSyslogSender sender(queue, {SyslogTransport::Udp, "127.0.0.1", rsyslog.UdpPort()}, ConnectSyslog, {"PC"},
                         UtcOffsetMinutes);
    const std::wstring characters = L"a\"]\u00fc\u4e2d";
    for (const wchar_t c : characters) {
        const std::wstring name(5000, c);
        auto entry = Entry(std::wstring(9000, c));
        entry->source = std::make_shared<TraceSource>(TraceSource{name, name, name, L"WS12", 42});
        entry->className = name;
        queue.Push(entry);
    }
    // The structured data read whole, up to its end, and then the text.
    const auto parsed = [&] {
        return test::Occurrences(rsyslog.Received(), " thread=\"00000000\" code=\"00000000\"]|\xEF\xBB\xBF");
    };
    EXPECT_TRUE(test::WaitUntil([&] { return parsed() == characters.size(); }, std::chrono::seconds(20)))
        << "datagrams whose structured data rsyslog read: " << parsed() << "; it has:\n" << rsyslog.Received();
}

}  // namespace
}  // namespace norvale
