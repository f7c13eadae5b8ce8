// Any bytes: the reader names a fault, or its entries, laid out again by the
// client's writer, take as many bytes and read back the same.

#include <norvale/tracer.h>

#include "server/batch_reader.h"
#include "tests/fuzz/fuzz_input.h"

using norvale::SessionCallKind;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<norvale::BatchEntry> entries;
    try {
        entries = norvale::ReadBatch(std::span<const uint8_t>(data, size));
    } catch (const norvale::EBatchFormat&) {
        return 0;
    }
    norvale::TBatchWriter w;
    for (auto& e : entries) {
        const std::u16string text(e.text.begin(), e.text.end()), lines(e.data.begin(), e.data.end());
        const std::u16string className(e.className.begin(), e.className.end());
        switch (e.kind) {
            case SessionCallKind::Message: w.Message(e.threadId, e.code, e.time, text); break;
            case SessionCallKind::ClassMessage: w.ClassMessage(e.threadId, e.code, e.time, className, text); break;
            case SessionCallKind::EnterMethod: w.EnterMethod(e.threadId, e.time, text); break;
            case SessionCallKind::ExitMethod: w.ExitMethod(e.threadId, e.time, text); break;
            case SessionCallKind::Strings: w.Strings(e.threadId, e.code, e.time, text, lines); break;
            case SessionCallKind::Binary: w.Binary(e.threadId, e.code, e.time, text, e.bytes.data(), e.bytes.size());
        }
        // The writer gives method entry and exit no code: the session ignores theirs.
        if (e.kind == SessionCallKind::EnterMethod || e.kind == SessionCallKind::ExitMethod) e.code = 0;
    }
    norvale::fuzz::Require(w.Bytes().size() == size && norvale::ReadBatch(w.Bytes()) == entries);
    return 0;
}
