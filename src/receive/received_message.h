#pragma once

// A syslog message from the network read into the fields of a trace entry,
// in plain code. Two forms are read:
//   RFC 5424  <PRI>1 TIMESTAMP HOSTNAME APP-NAME PROCID MSGID SD [MSG]
//   RFC 3164  <PRI>Mmm dd hh:mm:ss HOSTNAME TAG[PID]: MSG
// A message that Norvale forwarded (APP-NAME "Norvale" with the element
// [norvale@32473 ...]) comes back with every field it carried; any other
// sender's is a message entry. Nothing of it is trusted: every length and
// every character is checked before use, and a message that is neither
// form is kept whole as the text of an entry from its sender's address.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "output/formatting.h"

namespace norvale {

struct ReceivedMessage {
    // The host name as sent, or the sender's address.
    std::wstring machine;
    int32_t processId = 0;
    std::wstring project;
    std::wstring module;
    std::wstring className;
    int32_t threadId = 0;
    int32_t code = 0;
    MessageKind kind = MessageKind::Plain;
    // Without a method's marker; a block's heading.
    std::wstring text;
    // A block's further lines, each after a line feed.
    std::wstring further;
    // The sender's time in UTC (100 ns units since 1601-01-01), when it
    // carried its offset from UTC; otherwise the arrival's time counts.
    std::optional<uint64_t> utcTicks;
    // Neither form: `text` is the whole message.
    bool malformed = false;

    bool operator==(const ReceivedMessage&) const = default;
};

// `sender`: the address the message came from, as text.
ReceivedMessage ReadReceivedMessage(std::string_view message, std::string_view sender);

}  // namespace norvale
