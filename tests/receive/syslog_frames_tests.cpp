// A TCP stream cut into its messages: octet counting and line feeds, in
// pieces of any size, with frames past the bound cut and their rest skipped.

#include <gtest/gtest.h>

#include "receive/syslog_frames.h"

namespace norvale {
namespace {

// Each frame as "text" or "text cut", a long run of one byte as "x*65536".
using Frames = std::vector<std::string>;

std::string Shown(std::string_view bytes, bool cut) {
    std::string shown(bytes);
    if (bytes.size() > 40) shown = std::string(bytes.substr(0, 1)) + "*" + std::to_string(bytes.size());
    return cut ? shown + " cut" : shown;
}

// Every frame of the stream handed over in pieces of `piece` bytes, then
// what the stream's end leaves.
Frames Read(const std::string& stream, size_t piece) {
    TSyslogFrames frames;
    Frames read;
    for (size_t at = 0; at < stream.size(); at += piece) {
        frames.Add(std::string_view(stream).substr(at, piece));
        while (const auto frame = frames.Next()) read.push_back(Shown(frame->bytes, frame->cut));
    }
    if (const auto rest = frames.Rest()) read.push_back(Shown(rest->bytes, rest->cut));
    return read;
}

TEST(SyslogFramesTest, BothFramingsInAnyPiecesWithLongFramesCut) {
    constexpr size_t kMax = TSyslogFrames::kMaxFrame;
    const std::string longText(kMax + 10, 'x');
    const std::string cut = "x*" + std::to_string(kMax) + " cut";
    const struct {
        std::string stream;
        Frames frames;
    } rows[] = {
        {"5 <1>ab3 <2>", {"<1>ab", "<2>"}},
        {"<1>a\n\n<2>b\r\n<3>c", {"<1>a", "<2>b", "<3>c"}},
        // Framings may change from one message to the next.
        {"3 <1>\n<2>\n4 <3>x", {"<1>", "<2>", "<3>x"}},
        // Digits that end in no space, or too many of them, start a line.
        {"12ab\n12345678901 x\n", {"12ab", "12345678901 x"}},
        {std::to_string(kMax + 10) + " " + longText + "3 <9>", {cut, "<9>"}},
        {longText + "\n<9>\n", {cut, "<9>"}},
        {std::string(kMax, 'x') + "\n", {"x*" + std::to_string(kMax)}},
        {std::to_string(kMax) + " " + std::string(kMax, 'x') + "3 <9>", {"x*" + std::to_string(kMax), "<9>"}},
        // The stream's end within a counted frame cuts it; within a skipped
        // rest, nothing is left.
        {"9 <1>ab", {"<1>ab cut"}},
        {std::to_string(kMax + 10) + " " + std::string(kMax + 5, 'x'), {cut}},
    };
    for (const auto& row : rows) {
        for (const size_t piece : {size_t{1}, size_t{7}, row.stream.size()}) {
            EXPECT_EQ(Read(row.stream, piece), row.frames) << row.stream.substr(0, 40) << " in pieces of " << piece;
        }
    }
}

}  // namespace
}  // namespace norvale
