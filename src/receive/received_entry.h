#pragma once

// A received message as it waits for the dispatch: read, its time made
// local, its sender's naming shared with the sender's other messages.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "common/clock.h"
#include "common/session_naming.h"
#include "output/formatting.h"
#include "output/trace_entry.h"

namespace norvale {

// One sender (machine, process, project, module and class) as the outputs
// name it, made once for all its messages.
struct TReceivedSource {
    std::shared_ptr<const TraceSource> source;
    SessionNaming naming;      // in the code page: the line prefix
    SessionNaming utf8Naming;  // for a UTF-8 file and console
    // Made safe for a file name: what fills the file name's placeholders.
    SessionNaming fileNaming;
    // What all of it takes of memory.
    size_t bytes = 0;

    explicit TReceivedSource(TraceSource from);
};

struct ReceivedEntry {
    std::shared_ptr<const TReceivedSource> source;
    int32_t threadId = 0;
    int32_t code = 0;
    MessageKind kind = MessageKind::Plain;
    LocalDateTime time;
    std::wstring text;
    // A block's further lines, each after a line feed.
    std::wstring further;
    // Of the message as it came: what bounds what an output may write of it.
    size_t frameBytes = 0;
};

// What the entry takes of memory, for the queue's bound. Its source is
// counted whole with every entry: it is shared with the sender's other
// entries, so the count may say more than is held, never less, whatever
// names a sender makes up.
size_t ReceivedBytes(const ReceivedEntry& entry);

}  // namespace norvale
