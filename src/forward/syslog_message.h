#pragma once

// An entry as a syslog message (RFC 5424), decided in plain code:
//   <PRI>1 TIMESTAMP HOSTNAME Norvale PROCID MSGID
//   [norvale@32473 project="" module="" class="" thread="" code=""] BOM MSG
// with the message in UTF-8, a method's marker in front of it as in the file,
// and a block's further lines after it, each after a line feed.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "common/clock.h"
#include "output/trace_entry.h"

namespace norvale {

// An entry as forwarding keeps it until it is sent: a copy, since the
// dispatch's entry lives only for the call.
struct ForwardedEntry {
    std::shared_ptr<const TraceSource> source;  // none for the server's notices
    std::wstring className;
    int32_t threadId = 0;
    int32_t code = 0;
    MessageKind kind = MessageKind::Plain;
    LocalDateTime time;
    std::wstring text;
    std::vector<std::wstring> lines;  // a block's further lines
};

// `mostCharacters`: of the text and the block's lines, only what fits in
// about that many characters is copied (a datagram carries no more anyway);
// SIZE_MAX copies all.
ForwardedEntry ForwardedEntryOf(const TraceEntry& entry, size_t mostCharacters = SIZE_MAX);
// What the copy takes of memory, for the queue's bound.
size_t ForwardedBytes(const ForwardedEntry& entry);

// What every message of this computer shares.
struct SyslogOrigin {
    // Stands for a session that names no machine, and for the server's own
    // notices.
    std::string computerName;
};

// Severities of RFC 5424 under facility "user" (1).
enum class SyslogSeverity : uint8_t { Error = 3, Warning = 4, Notice = 5, Informational = 6, Debug = 7 };
SyslogSeverity SeverityOf(MessageKind kind);

// `utcOffsetMinutes`: local time minus UTC at the entry's time.
std::string FormatSyslogMessage(const ForwardedEntry& entry, int utcOffsetMinutes, const SyslogOrigin& origin);

// The message that tells the collector how many entries never reached it.
std::string FormatDroppedNotice(uint64_t dropped, const LocalDateTime& time, int utcOffsetMinutes,
                                const SyslogOrigin& origin);

// RFC 6587 octet counting: the length in decimal, a space, the message.
std::string FramedForTcp(std::string_view message);

// A datagram holds at most this much; a longer message is cut there, never
// inside a character. The structured data never reaches it: project, module
// and class are each cut to `kMaxParameter` bytes of UTF-8 first (marked
// "\u2026"), so only the text is cut.
inline constexpr size_t kMaxDatagram = 8192;
inline constexpr size_t kMaxParameter = 1024;
// True when it cut.
bool CutForDatagram(std::string& message);

}  // namespace norvale
