#pragma once

// The reader of a batch of entries (IDebugSession2::AddEntries), laid out in
// docs/clients.md. A batch comes from outside: it is read whole into plain
// entries before any of them is dispatched, so a fault anywhere leaves
// nothing of the batch written.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "common/errors.h"

namespace norvale {

// One kind per single call of a session, numbered as the format numbers them.
enum class SessionCallKind : uint8_t {
    Message = 1,
    ClassMessage = 2,
    EnterMethod = 3,
    ExitMethod = 4,
    Strings = 5,
    Binary = 6,
};

struct BatchEntry {
    SessionCallKind kind = SessionCallKind::Message;
    int32_t threadId = 0;
    int32_t code = 0;
    // The client's UTC time: 100 ns units since 1601-01-01 (a FILETIME).
    uint64_t time = 0;
    // Code units as sent, one wchar_t each (surrogates stay apart).
    std::wstring className;
    std::wstring text;
    std::wstring data;
    std::vector<uint8_t> bytes;
    // Where the entry begins in its batch, for the faults found after reading.
    size_t offset = 0;

    bool operator==(const BatchEntry&) const = default;
};

// A batch that breaks the format; its text names the entry (from 1) or the
// header, and the byte offset where the fault is.
class EBatchFormat : public ENorvaleError {
public:
    using ENorvaleError::ENorvaleError;
};

std::vector<BatchEntry> ReadBatch(std::span<const uint8_t> batch);

// A fault of entry `number` (from 1) found after the batch was read.
EBatchFormat BatchEntryFault(size_t number, const BatchEntry& entry, const std::string& what);

}  // namespace norvale
