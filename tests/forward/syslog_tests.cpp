// Forwarding's plain decisions: the `SyslogServer` text, an entry as an
// RFC 5424 message with its framing, and the bounded queue before the sender.

#include <gtest/gtest.h>

#include "forward/forward_queue.h"
#include "forward/syslog_address.h"
#include "forward/syslog_message.h"

namespace norvale {
namespace {

TEST(SyslogServerTest, FormsAreReadAndEveryOtherTextSaysWhy) {
    using enum SyslogTransport;
    const struct {
        const char* text;
        SyslogTransport transport;
        const char* host;
        uint16_t port;
    } good[] = {
        {"udp://127.0.0.1:514", Udp, "127.0.0.1", 514}, {"TCP://logs.example.com", Tcp, "logs.example.com", 514},
        {"tcp://[::1]:6514", Tcp, "::1", 6514},        {"udp://collector_1:65535", Udp, "collector_1", 65535},
    };
    for (const auto& row : good) {
        const ParsedSyslogServer parsed = ParseSyslogServer(row.text);
        ASSERT_TRUE(parsed.address) << row.text << ": " << parsed.problem;
        EXPECT_EQ(parsed.address->transport, row.transport) << row.text;
        EXPECT_EQ(parsed.address->host, row.host);
        EXPECT_EQ(parsed.address->port, row.port);
    }
    const std::pair<const char*, const char*> bad[] = {
        {"127.0.0.1:514", "does not begin with \"udp://\" or \"tcp://\"."},
        {"udp://", "names no host."},
        {"udp://:514", "names no host."},
        {"tcp://[::1", "opens an IPv6 address with \"[\" but never closes it."},
        {"tcp://[]:514", "has no IPv6 address between its brackets."},
        {"udp://[fe80::1%eth0]", "has no IPv6 address between its brackets."},
        {"udp://host:0", "has a port that is not a number from 1 to 65535."},
        {"udp://host:65536", "has a port that is not a number from 1 to 65535."},
        {"udp://host:", "has a port that is not a number from 1 to 65535."},
        {"udp://host:51 4", "has a port that is not a number from 1 to 65535."},
        {"udp://::1", "names no host."},
        {"udp://lo gs", "has a host name with other characters than letters, digits, \"-\", \"_\" and \".\" (an IPv6 "
                        "address goes in brackets)."},
    };
    for (const auto& [text, why] : bad) {
        const ParsedSyslogServer parsed = ParseSyslogServer(text);
        EXPECT_FALSE(parsed.address) << text;
        EXPECT_EQ(parsed.problem, "Forwarding is off: the syslog server \"" + std::string(text) + "\" " + why);
    }
}

TEST(SyslogMessageTest, EachKindHasItsSeverityIdAndText) {
    auto source = std::make_shared<TraceSource>();
    *source = TraceSource{L"Bil\"ling]", L"Core\\1", L"TInvoice", L"WS 12\u00fc", 0x4D2};
    const LocalDateTime time{2026, 12, 8, TimeOfDay{14, 3, 27, 512}};
    const SyslogOrigin origin{"BUILD01"};
    const std::string bom = "\xEF\xBB\xBF";
    const std::string data = " [norvale@32473 project=\"Bil\\\"ling\\]\" module=\"Core\\\\1\" class=\"TInvoice\" ";
    const struct {
        ForwardedEntry entry;
        int offset;
        std::string message;
    } rows[] = {
        {{source, L"TInvoice", 0x1A4, 10, MessageKind::Plain, time, L"Posting \u4e2d", {}}, 60,
         "<14>1 2026-12-08T14:03:27.512+01:00 WS_12_ Norvale 1234 msg" + data +
             "thread=\"000001a4\" code=\"0000000a\"] " + bom + "Posting \xE4\xB8\xAD"},
        {{source, L"TInvoice", 0, 0, MessageKind::EnterMethod, time, L"Run", {}}, -330,
         "<15>1 2026-12-08T14:03:27.512-05:30 WS_12_ Norvale 1234 enter" + data +
             "thread=\"00000000\" code=\"00000000\"] " + bom + "-> Run"},
        {{source, L"TInvoice", 0, -1, MessageKind::Block, time, L"Data", {L"a", L"b"}}, 0,
         "<14>1 2026-12-08T14:03:27.512+00:00 WS_12_ Norvale 1234 block" + data +
             "thread=\"00000000\" code=\"ffffffff\"] " + bom + "Data\na\nb"},
        {{nullptr, L"", 0, 0, MessageKind::Notice, time, L"Norvale Starting Up", {}}, 0,
         "<13>1 2026-12-08T14:03:27.512+00:00 BUILD01 Norvale - notice [norvale@32473 project=\"\" module=\"\" "
         "class=\"\" thread=\"00000000\" code=\"00000000\"] " + bom + "Norvale Starting Up"},
    };
    for (const auto& row : rows) EXPECT_EQ(FormatSyslogMessage(row.entry, row.offset, origin), row.message);
    EXPECT_EQ(FormatDroppedNotice(12, time, 60, origin),
              "<12>1 2026-12-08T14:03:27.512+01:00 BUILD01 Norvale - notice [norvale@32473 project=\"\" module=\"\" "
              "class=\"\" thread=\"00000000\" code=\"00000000\"] " + bom +
                  "Norvale: 12 messages dropped while the collector was unreachable");
}

TEST(SyslogMessageTest, TcpCountsOctetsAndADatagramIsCutBeforeACharacter) {
    EXPECT_EQ(FramedForTcp("<14>1 \xC3\xBC"), "8 <14>1 \xC3\xBC");
    std::string fits(kMaxDatagram, 'x');
    EXPECT_FALSE(CutForDatagram(fits));
    std::string split = std::string(kMaxDatagram - 1, 'x') + "\xE4\xB8\xAD" + "tail";
    EXPECT_TRUE(CutForDatagram(split));
    EXPECT_EQ(split, std::string(kMaxDatagram - 1, 'x'));
}

// Entries the sender looked at stay until it removes them; those the bound
// forgot meanwhile count as dropped, never as sent.
TEST(ForwardQueueTest, TheBoundDropsTheOldestAndOnlyRemovedEntriesCountAsSent) {
    EXPECT_EQ(TForwardQueue::kCapacity, 100000u) << "the bound the documents give";
    TForwardQueue queue(3);
    const auto push = [&](int n) {
        for (int i = 0; i < n; ++i) queue.Push(std::make_shared<ForwardedEntry>());
    };
    push(5);
    EXPECT_EQ(queue.Unreported(), 2u);
    queue.Reported(2);
    EXPECT_EQ(queue.Unreported(), 0u);
    uint64_t first = 0;
    EXPECT_EQ(queue.Peek(2, std::chrono::milliseconds(0), first).size(), 2u);
    EXPECT_EQ(first, 2u);
    push(2);
    queue.Remove(first + 2);
    const ForwardCounts afterOverflow = queue.Counts();
    EXPECT_EQ(std::vector<uint64_t>({afterOverflow.sent, afterOverflow.queued, afterOverflow.dropped}),
              std::vector<uint64_t>({0, 3, 4}));
    EXPECT_EQ(queue.Peek(10, std::chrono::milliseconds(0), first).size(), 3u);
    queue.Remove(first + 3);
    queue.Wake();
    EXPECT_TRUE(queue.Peek(10, std::chrono::seconds(20), first).empty()) << "a woken wait returned at once, not after 20 s";
    push(1);
    queue.DropAll();
    const ForwardCounts end = queue.Counts();
    EXPECT_EQ(std::vector<uint64_t>({end.sent, end.queued, end.dropped}), std::vector<uint64_t>({3, 0, 5}));
}

}  // namespace
}  // namespace norvale
