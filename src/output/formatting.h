#pragma once

// The line format: plain functions of plain values, no platform calls.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "common/clock.h"
#include "common/session_naming.h"
#include "config/options_settings.h"
#include "output/output_settings.h"

namespace norvale {

// Carried with every message to the outputs; only the viewer reads it.
enum class MessageKind : uint32_t {
    Plain = 0,
    Code1 = 1,
    Code2 = 2,
    Block = 6,
    Notice = 8,
    EnterMethod = 9,
    ExitMethod = 10,
    // A debugged program's crash or failed exit; the server's own kind, which
    // the viewer is sent as a plain message.
    Crash = 64,
};

MessageKind MessageKindFromCode(int32_t code);
// Kinds whose entries may carry further lines after their first.
inline bool CarriesFurtherLines(MessageKind kind) { return kind == MessageKind::Block || kind == MessageKind::Crash; }

// The optional fields, each followed by one space, in their fixed order:
// time, project, module, machine, process, class, code, thread.
std::string FormatPrefix(const OutputSettings& settings, const SessionNaming& session, int32_t threadId,
                         int32_t code, std::string_view className, const TimeOfDay& time);
// The same, appended to `line`: a caller that reuses one buffer for every
// line allocates nothing.
void AppendPrefix(std::string& line, const OutputSettings& settings, const SessionNaming& session, int32_t threadId,
                  int32_t code, std::string_view className, const TimeOfDay& time);

inline constexpr std::string_view kEnterMarker = "-> ";
inline constexpr std::string_view kExitMarker = "<- ";

// The indent of a block's entry lines: the prefix's length plus two; in
// UTF-8 its length in characters, so that the entries line up under the
// message as an editor shows it.
std::string BlockIndent(std::string_view prefix, FileEncoding encoding = FileEncoding::Ansi);

// Lines of an `AddStrings` text: breaks at CR LF, lone CR and lone LF; no
// empty line after a final break; the text ends at its first NUL.
std::vector<std::string> SplitLines(std::string_view text);
std::vector<std::wstring> SplitLines(std::wstring_view text);

// Rows of 16 bytes: hex digits each followed by a space, padded to 48
// columns, then the bytes with "." for 0 to 32. No bytes give one blank row.
std::vector<std::string> HexDump(std::span<const uint8_t> bytes);

}  // namespace norvale
