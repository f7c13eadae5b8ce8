#pragma once

// What a peer sent, made fit to write before any output formats it: a byte
// a peer chose never acts on a file, a console or a screen. Controls other
// than TAB, and DEL, are shown as their Unicode pictures (NUL as U+2400,
// 0x1A as U+241A, DEL as U+2421), never written. A line break in a message's
// text makes the entry a block, its further lines as its sender meant them;
// where no line may start (a name, a method's entry or exit, a notice) the
// break is shown as a picture too. So no line of a received entry ever
// carries a prefix of its own.
//
// Every further line is written after an indent as wide as the line prefix,
// which the sender's names make long: what a received entry may write is
// bounded by the bytes of the frame it came in, and the lines past that are
// cut and said in the entry.

#include <cstddef>
#include <string>
#include <string_view>

#include "receive/received_message.h"

namespace norvale {

// HOSTNAME as RFC 5424 bounds it; the other names as forwarding cuts them.
inline constexpr size_t kMostReceivedHost = 255;

// At most `most` bytes of UTF-8, cut before a character and marked with
// "\u2026" as forwarding marks it, every control shown as its picture.
std::wstring ReceivedName(std::wstring_view name, size_t most);

// The message's text, and a block's further lines, as an entry may write
// them; a message whose text breaks becomes a block.
void MakeTextWritable(ReceivedMessage& message);

// What every output may write of an entry that came in `frameBytes` bytes:
// four bytes for each (a control's picture takes three in UTF-8, a line
// break two), and room for a long prefix.
constexpr size_t MostWrittenFor(size_t frameBytes) { return 4 * frameBytes + 65536; }

// A block's further lines (each after a line feed) as far as they fit in
// `most` bytes of UTF-8 (no fewer than the code page's), each written after
// `indent` columns and ended by CR LF, after the line of its `heading`, whose
// prefix is two columns shorter; the rest gives way to one line that says
// how many were cut. Returns that number: 0 when all fit.
size_t CutFurtherLines(std::wstring& further, std::wstring_view heading, size_t indent, size_t most);

}  // namespace norvale
