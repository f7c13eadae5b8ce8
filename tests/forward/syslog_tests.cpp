// Forwarding's plain decisions: the `SyslogServer` text, an entry as an
// RFC 5424 message with its framing, and the bounded queue before the sender.

#include <gtest/gtest.h>

#include <tuple>

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
        {{source, L"TInvoice", 0, 0, MessageKind::ExitMethod, time, L"Run", {}}, 0,
         "<15>1 2026-12-08T14:03:27.512+00:00 WS_12_ Norvale 1234 exit" + data +
             "thread=\"00000000\" code=\"00000000\"] " + bom + "<- Run"},
        {{source, L"TInvoice", 0, 1, MessageKind::Code1, time, L"One", {}}, 0,
         "<14>1 2026-12-08T14:03:27.512+00:00 WS_12_ Norvale 1234 msg" + data +
             "thread=\"00000000\" code=\"00000001\"] " + bom + "One"},
        {{source, L"TInvoice", 0, 2, MessageKind::Code2, time, L"Two", {}}, 0,
         "<14>1 2026-12-08T14:03:27.512+00:00 WS_12_ Norvale 1234 msg" + data +
             "thread=\"00000000\" code=\"00000002\"] " + bom + "Two"},
        {{source, L"TInvoice", 0, -1, MessageKind::Block, time, L"Data", {L"a", L"b"}}, 0,
         "<14>1 2026-12-08T14:03:27.512+00:00 WS_12_ Norvale 1234 block" + data +
             "thread=\"00000000\" code=\"ffffffff\"] " + bom + "Data\na\nb"},
        {{source, L"TInvoice", 0, 0, MessageKind::Crash, time, L"Access violation at post_invoice (crash.c:16)",
          {L"invoices!post_invoice+0xc crash.c:16"}}, 0,
         "<11>1 2026-12-08T14:03:27.512+00:00 WS_12_ Norvale 1234 crash" + data +
             "thread=\"00000000\" code=\"00000000\"] " + bom +
             "Access violation at post_invoice (crash.c:16)\ninvoices!post_invoice+0xc crash.c:16"},
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

// Project, module and class are cut before escaping, at a character, so that
// a datagram's cut falls in the text and never in the structured data.
TEST(SyslogMessageTest, LongNamesAreCutAtACharacterSoADatagramKeepsItsData) {
    for (const auto& [c, kept, escaped] : {std::tuple{L'a', 1021, "a"}, {L'"', 1021, "\\\""},
                                           {L'\u00fc', 510, "\xC3\xBC"}, {L'\u4e2d', 340, "\xE4\xB8\xAD"}}) {
        const std::wstring name(5000, c);
        const auto source = std::make_shared<TraceSource>(TraceSource{name, name, name, L"PC", 1});
        ForwardedEntry entry{source, name, 0, 0, MessageKind::Plain, {}, std::wstring(9000, L'm'), {}};
        std::string message = FormatSyslogMessage(entry, 0, SyslogOrigin{"PC"});
        std::string value;
        for (int i = 0; i < kept; ++i) value += escaped;
        value = "\"" + value + "\xE2\x80\xA6\"";
        EXPECT_NE(message.find(" project=" + value + " module=" + value + " class=" + value + " "), std::string::npos)
            << "names of " << static_cast<unsigned>(c);
        EXPECT_TRUE(CutForDatagram(message));
        EXPECT_EQ(message.substr(message.find("] \xEF\xBB\xBF") + 5, 3), "mmm") << "the data whole, the text cut";
    }
}

// Each entry counts once: sent, or dropped (by the count or the byte bound,
// oldest first, or whole when larger than the bound), or still queued; what
// the sender holds is never dropped under it, and what it could not send goes
// back to the front.
TEST(ForwardQueueTest, EveryEntryCountsOnceAndTheBoundsDropTheOldestWaiting) {
    EXPECT_EQ(std::pair(TForwardQueue::kCapacity, TForwardQueue::kByteCapacity), std::pair(size_t{100000}, size_t{64} << 20))
        << "the bounds the documents give";
    const auto entry = [](size_t characters) {
        auto made = std::make_shared<ForwardedEntry>();
        made->text.assign(characters, L'x');
        return made;
    };
    const size_t unit = ForwardedBytes(*entry(100));
    TForwardQueue queue(3, 3 * unit);
    const auto counts = [&] {
        const ForwardCounts c = queue.Counts();
        return std::vector<uint64_t>{c.sent, c.queued, c.dropped};
    };
    for (int i = 0; i < 5; ++i) queue.Push(entry(100));
    EXPECT_EQ(counts(), (std::vector<uint64_t>{0, 3, 2})) << "the count's bound";
    EXPECT_EQ(queue.Unreported(), 2u);
    queue.Reported(2);
    std::vector<TForwardQueue::Entry> taken = queue.Take(10, 2 * unit, std::chrono::milliseconds(0));
    EXPECT_EQ(taken.size(), 2u) << "the batch's bytes";
    for (int i = 0; i < 3; ++i) queue.Push(entry(100));
    EXPECT_EQ(counts(), (std::vector<uint64_t>{0, 5, 3})) << "the held entries stay out of the bound's reach";
    queue.Settle(std::move(taken), 1);
    EXPECT_EQ(counts(), (std::vector<uint64_t>{1, 3, 4})) << "the unsent one back in front, then dropped as oldest";
    queue.Push(entry(150));
    EXPECT_EQ(counts(), (std::vector<uint64_t>{1, 2, 6})) << "the byte bound";
    queue.Push(entry(4000));
    EXPECT_EQ(counts(), (std::vector<uint64_t>{1, 2, 7})) << "larger than the bound: dropped whole";
    queue.CountDropped();
    EXPECT_EQ(queue.Unreported(), 6u);
    EXPECT_EQ(queue.Take(10, SIZE_MAX, std::chrono::milliseconds(0)).size(), 2u);
    queue.Wake();
    EXPECT_TRUE(queue.Take(10, SIZE_MAX, std::chrono::seconds(20)).empty()) << "a woken wait returned at once, not after 20 s";
    queue.Push(entry(1));
    queue.DropAll();
    EXPECT_EQ(counts(), (std::vector<uint64_t>{1, 2, 9})) << "the two still taken, the one waiting dropped";
}

}  // namespace
}  // namespace norvale
