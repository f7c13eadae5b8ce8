// Any bytes: the reader either names a fault, or reads entries that the
// client's writer lays out again in as many bytes and that read back the
// same, so nothing of a batch is dropped, added or read from the wrong place.

#include <norvale/tracer.h>

#include "server/batch_reader.h"
#include "tests/fuzz/fuzz_input.h"

namespace {

using norvale::BatchEntry;
using norvale::SessionCallKind;

std::u16string Units(const std::wstring& text) { return std::u16string(text.begin(), text.end()); }

void Write(norvale::TBatchWriter& writer, const BatchEntry& e) {
    switch (e.kind) {
        case SessionCallKind::Message: writer.Message(e.threadId, e.code, e.time, Units(e.text)); break;
        case SessionCallKind::ClassMessage:
            writer.ClassMessage(e.threadId, e.code, e.time, Units(e.className), Units(e.text));
            break;
        case SessionCallKind::EnterMethod: writer.EnterMethod(e.threadId, e.time, Units(e.text)); break;
        case SessionCallKind::ExitMethod: writer.ExitMethod(e.threadId, e.time, Units(e.text)); break;
        case SessionCallKind::Strings: writer.Strings(e.threadId, e.code, e.time, Units(e.text), Units(e.data)); break;
        case SessionCallKind::Binary:
            writer.Binary(e.threadId, e.code, e.time, Units(e.text), e.bytes.data(), e.bytes.size());
            break;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<BatchEntry> entries;
    try {
        entries = norvale::ReadBatch(std::span<const uint8_t>(data, size));
    } catch (const norvale::EBatchFormat&) {
        return 0;
    }
    norvale::TBatchWriter writer;
    for (auto& entry : entries) {
        Write(writer, entry);
        // The writer gives method entry and exit no code, as the session ignores theirs.
        if (entry.kind == SessionCallKind::EnterMethod || entry.kind == SessionCallKind::ExitMethod) entry.code = 0;
    }
    norvale::fuzz::Require(writer.Bytes().size() == size);
    norvale::fuzz::Require(norvale::ReadBatch(writer.Bytes()) == entries);
    return 0;
}
