#pragma once

// The record the trace viewer receives as the data of a WM_COPYDATA message,
// built from plain values so that every byte can be checked natively.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "output/formatting.h"

namespace norvale {

namespace codesite {
inline constexpr size_t kProgramOffset = 16;
inline constexpr size_t kProgramFieldSize = 128;
inline constexpr size_t kClassOffset = 144;
inline constexpr size_t kClassFieldSize = 80;
inline constexpr size_t kTextOffset = 224;
// The header and fields, the text's zero byte and the two spare bytes.
inline constexpr size_t kFixedSize = 227;
}  // namespace codesite

// The kind the viewer is sent: its own kinds as they are, the server's own
// (a crash) as a plain message, which every viewer shows.
MessageKind ViewerKindOf(MessageKind kind);

// Little-endian kind, tick, L (the message's length less a final CR LF)
// and D (the data's length); the program and class names each cut to
// one less than their field so that their zero byte stays inside it; then the
// first L characters of the message, the data and a zero byte. Every byte not
// written is zero, and the record is exactly L + D + 227 bytes long.
std::vector<uint8_t> BuildCodeSiteMessage(MessageKind kind, uint32_t tick, std::string_view message,
                                          std::string_view data, std::string_view programName,
                                          std::string_view className);

// The string list's text: every entry followed by CR LF.
std::string CodeSiteListText(const std::vector<std::string>& entries);

// The program's file name without directory and extension.
std::string CodeSiteProgramName(std::string_view modulePath);

// A stored decimal number, on when it is not zero; anything that is not a
// whole decimal number reads as off.
bool CodeSiteFlagFromText(std::string_view text);

}  // namespace norvale
