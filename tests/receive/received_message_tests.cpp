// Received syslog messages read into entry fields: Norvale's own, as its
// forwarding writes them, back into every field; other senders' RFC 5424
// and RFC 3164 messages into message entries; what is neither kept whole.
// And a received value made safe for a file name.

#include <gtest/gtest.h>

#include "forward/syslog_message.h"
#include "receive/received_message.h"
#include "receive/safe_file_name.h"

namespace norvale {
namespace {

using K = MessageKind;
const std::string kBom = "\xEF\xBB\xBF";

// What forwarding sends of an entry, made by forwarding itself.
std::string Forwarded(MessageKind kind, int32_t code, std::wstring text, std::vector<std::wstring> lines = {},
                      int offset = 60) {
    static const auto source = std::make_shared<TraceSource>(TraceSource{L"Bil\"ling]", L"Core\\1", L"", L"WS 12", 1234});
    const ForwardedEntry entry{source, L"TInvoice", 0x1A4, code, kind,
                               LocalDateTime{2026, 12, 8, TimeOfDay{14, 3, 27, 512}}, std::move(text), std::move(lines)};
    return FormatSyslogMessage(entry, offset, SyslogOrigin{"PC"});
}

ReceivedMessage Norvale(MessageKind kind, int32_t code, std::wstring text, std::wstring further = {}) {
    return {L"WS_12", 1234, L"Bil\"ling]", L"Core\\1", L"TInvoice", 0x1A4, code, kind, std::move(text),
            std::move(further), 134412086075120000, false};
}

ReceivedMessage Other(std::wstring machine, int32_t processId, std::wstring module, int32_t code, std::wstring text,
                      std::optional<uint64_t> ticks = std::nullopt) {
    return {std::move(machine), processId, L"", std::move(module), L"", 0, code, MessageKindFromCode(code),
            std::move(text), L"", ticks, false};
}

ReceivedMessage Whole(std::wstring text) { return {L"192.0.2.7", 0, L"", L"", L"", 0, 0, K::Plain, std::move(text), L"", {}, true}; }

TEST(ReceivedMessageTest, EachFormAndSenderIsReadIntoItsFields) {
    const struct {
        std::string message;
        ReceivedMessage read;
    } rows[] = {
        // Norvale's own, every kind, the time back in UTC from its offset.
        {Forwarded(K::Plain, 10, L"Posting \u4e2d"), Norvale(K::Plain, 10, L"Posting \u4e2d")},
        {Forwarded(K::Code1, 1, L"One"), Norvale(K::Code1, 1, L"One")},
        {Forwarded(K::Code2, 2, L"Two"), Norvale(K::Code2, 2, L"Two")},
        {Forwarded(K::EnterMethod, 0, L"Run"), Norvale(K::EnterMethod, 0, L"Run")},
        {Forwarded(K::ExitMethod, 0, L"-> Run"), Norvale(K::ExitMethod, 0, L"-> Run")},
        {Forwarded(K::Block, 3, L"Data", {L"a", L"", L"b\u00fc"}), Norvale(K::Block, 3, L"Data", L"a\n\nb\u00fc")},
        {Forwarded(K::Notice, 0, L"Session opened."), Norvale(K::Notice, 0, L"Session opened.")},
        {Forwarded(K::Crash, 0, L"Access violation at f", {L"m!f+0x1"}), Norvale(K::Crash, 0, L"Access violation at f", L"m!f+0x1")},
        {Forwarded(K::Plain, 0, L"x", {}, -330), [] {
             auto read = Norvale(K::Plain, 0, L"x");
             read.utcTicks = 134412320075120000;
             return read;
         }()},
        // Norvale's name without its element is any sender's.
        {"<13>1 - h Norvale 5 msg - " + kBom + "x", Other(L"h", 5, L"Norvale", 5, L"x")},
        // Any sender: the severity as the code, the application as the module.
        {"<165>1 2003-10-11T22:14:15.003Z mymachine.example.com evntslog - ID47 [exampleSDID@32473 iut=\"3\" "
         "eventSource=\"Application\"][x@1] An application event",
         Other(L"mymachine.example.com", 0, L"evntslog", 5, L"An application event", 127103840550030000)},
        {"<9>1 2024-02-29T23:59:59.123456+00:00 - app 4242 - - " + kBom + "\xE4\xB8\xAD\n",
         Other(L"192.0.2.7", 4242, L"app", 1, L"\u4e2d", 133537247991234560)},
        {"<14>1 - h - abc - - caf\xC3\xA9", Other(L"h", 0, L"", 6, L"caf\u00e9")},
        {"<14>1 - h - 99999999999 - - caf\xE9\r\n", Other(L"h", 0, L"", 6, L"caf\u00e9")},
        {"<14>1 1601-01-01T00:00:00.000001+00:01 h a p m -", Other(L"h", 0, L"a", 6, L"")},
        {"<14>1 1601-01-01T00:00:00Z h a p m -", Other(L"h", 0, L"a", 6, L"", 0)},
        // RFC 3164, with and without the host; its time is the arrival's.
        {"<13>Dec  9 23:00:00 myhost tag[123]: hello", Other(L"myhost", 123, L"tag", 5, L"hello")},
        {"<11>Feb 28 01:02:03 su: text", Other(L"192.0.2.7", 0, L"su", 3, L"text")},
        {"<0>Oct 11 22:14:15 host no tag here\n", Other(L"host", 0, L"", 0, L"no tag here")},
        // Neither form: kept whole.
        {"\x01garbage", Whole(L"\x01garbage")},
        {"<192>1 - h a p m - x", Whole(L"<192>1 - h a p m - x")},
        {"<14>2 - h a p m - x", Whole(L"<14>2 - h a p m - x")},
        {"<14>1 2025-02-29T00:00:00Z h a p m -", Whole(L"<14>1 2025-02-29T00:00:00Z h a p m -")},
        {"<14>1 2025-01-01T00:00:00 h a p m -", Whole(L"<14>1 2025-01-01T00:00:00 h a p m -")},
        {"<14>1 2025-01-01T00:00:00.1234567Z h a p m -", Whole(L"<14>1 2025-01-01T00:00:00.1234567Z h a p m -")},
        {"<14>1 - h a p m [x a=\"b]", Whole(L"<14>1 - h a p m [x a=\"b]")},
        {"<14>1 - h a p m [x a=b]", Whole(L"<14>1 - h a p m [x a=b]")},
        {"<14>1 - h a p m -x", Whole(L"<14>1 - h a p m -x")},
        {"<14>1 - h " + std::string(49, 'a') + " p m -", Whole(L"<14>1 - h " + std::wstring(49, L'a') + L" p m -")},
        {"<14>Dez  9 23:00:00 h t: x", Whole(L"<14>Dez  9 23:00:00 h t: x")},
        {"<14>Dec  9 24:00:00 h t: x", Whole(L"<14>Dec  9 24:00:00 h t: x")},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(ReadReceivedMessage(row.message, "192.0.2.7"), row.read) << row.message;
    }
}

TEST(SafeFileNameTest, NoReceivedValueNamesAFolder) {
    EXPECT_EQ(SafeForFileName("..\\..\\Windows/x:y*?\"<>|\x01\x7F.a..b...c.d"), "______Windows_x_y________.a__b___c.d");
}

}  // namespace
}  // namespace norvale
