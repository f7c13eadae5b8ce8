// A TCP stream from anyone, as the receiver reads it: an entry that Norvale
// forwarded, counted in octets, then any bytes. Handed over in pieces of any
// size, the stream cuts into the same frames as in one piece, none past the
// bound; the forwarded entry comes back with every field, and any frame reads
// into an entry that names its machine.

#include <string>
#include <vector>

#include "common/utf8_text.h"
#include "forward/syslog_message.h"
#include "receive/received_message.h"
#include "receive/syslog_frames.h"
#include "tests/fuzz/fuzz_input.h"

using namespace norvale;

namespace {

struct Read {
    std::vector<std::string> frames;
    std::vector<bool> cut;
};

Read Frames(std::string_view stream, size_t piece) {
    TSyslogFrames frames;
    Read read;
    const auto keep = [&](const TSyslogFrames::Frame& frame) {
        fuzz::Require(frame.bytes.size() <= TSyslogFrames::kMaxFrame);
        read.frames.emplace_back(frame.bytes);
        read.cut.push_back(frame.cut);
    };
    for (size_t at = 0; at < stream.size(); at += piece) {
        frames.Add(stream.substr(at, piece));
        while (const auto frame = frames.Next()) keep(*frame);
    }
    if (const auto rest = frames.Rest()) keep(*rest);
    return read;
}

// The kinds as forwarding sends them; a message's kind follows its code.
constexpr MessageKind kKinds[] = {MessageKind::Plain, MessageKind::Block, MessageKind::Notice,
                                  MessageKind::EnterMethod, MessageKind::ExitMethod};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::Input in(data, size);
    const size_t piece = size_t{in.Byte()} + 1;
    const MessageKind sent = kKinds[in.Byte() % std::size(kKinds)];
    const int32_t code = in.Number(), threadId = in.Number(), processId = in.Number() & 0x7FFFFFFF;
    auto source = std::make_shared<TraceSource>(
        TraceSource{Utf8ToWide(in.Text()), Utf8ToWide(in.Text()), L"", L"WS-7", processId});
    ForwardedEntry entry{source, Utf8ToWide(in.Text()), threadId, code, sent, LocalDateTime{2026, 12, 8, TimeOfDay{14, 3, 27, 512}},
                         Utf8ToWide(in.Text()), {}};
    if (sent == MessageKind::Block) {
        for (uint8_t lines = in.Byte() % 4; lines > 0; --lines) entry.lines.push_back(Utf8ToWide(in.Text()));
    }
    const std::string message = FormatSyslogMessage(entry, 60, SyslogOrigin{"PC"});
    const std::string stream = FramedForTcp(message) + in.Rest();

    const Read whole = Frames(stream, stream.size() + 1), pieces = Frames(stream, piece);
    fuzz::Require(whole.frames == pieces.frames && whole.cut == pieces.cut && !whole.frames.empty());
    for (const std::string& frame : whole.frames) fuzz::Require(!ReadReceivedMessage(frame, "192.0.2.7").machine.empty());

    // What the sender made ambiguous is left out: a name cut to its bound, a
    // block's heading holding a line feed, and a message that ends in one,
    // which reads as the end of its line.
    const auto fits = [](const std::wstring& name) { return WideToUtf8(name).size() <= kMaxParameter; };
    if (message.size() > TSyslogFrames::kMaxFrame || !fits(source->Project) || !fits(source->Module) ||
        !fits(entry.className) || (sent == MessageKind::Block && entry.text.find(L'\n') != std::wstring::npos) ||
        message.ends_with('\n') || message.ends_with('\r')) {
        return 0;
    }
    const ReceivedMessage read = ReadReceivedMessage(whole.frames.front(), "192.0.2.7");
    std::wstring further;
    for (size_t i = 0; i < entry.lines.size(); ++i) further += (i == 0 ? L"" : L"\n") + entry.lines[i];
    const MessageKind kind = sent == MessageKind::Plain ? MessageKindFromCode(code) : sent;
    fuzz::Require(read == ReceivedMessage{L"WS-7", processId, source->Project, source->Module, entry.className, threadId,
                                          code, kind, entry.text, further, read.utcTicks, false});
    return 0;
}
