#pragma once

// What receiving tells the user: its counts and why it does not listen.

#include <cstdint>
#include <string>

#include "common/part_status.h"

namespace norvale {

struct ReceiveCounts {
    // Every message taken in, malformed ones included.
    uint64_t received = 0;
    // Neither form of syslog: kept whole as the text of an entry.
    uint64_t malformed = 0;
    // Datagrams a full queue dropped, and messages whose handling ran out of
    // memory.
    uint64_t dropped = 0;
    // Frames longer than their bound, cut there.
    uint64_t cut = 0;
    // Datagrams and connections from senders `ListenAllow` leaves out,
    // dropped at once.
    uint64_t refused = 0;
    // Connections closed for a new one: of the same address, which held its
    // share; of any, when every place was taken; and those that sent no whole
    // frame for the idle time.
    uint64_t replaced = 0;
    uint64_t madeRoom = 0;
    uint64_t idle = 0;
    // Blocks whose further lines would have written more than their frame
    // allows, cut there.
    uint64_t shortened = 0;
};

struct ReceiveStatus {
    bool on = false;
    ReceiveCounts counts;
    // In the system's code page: an address that does not parse, or one that
    // cannot be listened on; empty while all is well.
    std::string problem;
};

// "Received: 12, malformed 0, dropped 0", with the other counts once there
// are any; nothing while receiving has never been on.
PartStatusTexts ReceiveStatusTexts(const ReceiveStatus& status);

}  // namespace norvale
