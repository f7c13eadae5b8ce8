#pragma once

#include <string_view>

#include "output/trace_entry.h"

namespace norvale::test {

// An entry of `session` (none: the server's own) with the session's class,
// as a session call makes it, its naming taken for UTF-8 too (it is ASCII
// in tests unless they say otherwise); the texts must outlive the entry.
inline TraceEntry MakeEntry(const SessionNaming* session, std::wstring_view text,
                            MessageKind kind = MessageKind::Plain, const TBlockLines* block = nullptr) {
    TraceEntry entry;
    entry.session = session;
    entry.utf8Session = session;
    if (session != nullptr) entry.ansiClassName = session->Class;
    entry.kind = block != nullptr ? MessageKind::Block : kind;
    entry.text = text;
    entry.block = block;
    return entry;
}

}  // namespace norvale::test
