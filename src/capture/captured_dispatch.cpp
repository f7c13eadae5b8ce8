#include "capture/captured_dispatch.h"

#include "capture/captured_text.h"
#include "common/ansi_text.h"

namespace norvale {

namespace {

// Strings taken from the queue at once: the reader waits for the queue's
// lock only while these few are traded.
constexpr size_t kBatch = 256;

}  // namespace

TCapturedDispatch::TCapturedDispatch(TDebugStringQueue& queue, TOutputStage& stage)
    : queue_(queue), stage_(stage), batch_(kBatch), texts_(kBatch), thread_([this] { Run(); }) {}

TCapturedDispatch::~TCapturedDispatch() { Stop(); }

void TCapturedDispatch::Stop() {
    if (!thread_.joinable()) return;
    queue_.Close();
    thread_.join();
}

void TCapturedDispatch::Run() {
    while (const size_t taken = queue_.Take(batch_)) {
        try {
            DispatchBatch(taken);
        } catch (const std::exception&) {
            // Out of memory, or the output lock's failure: the batch is
            // lost and counted, and the next one tries again.
            queue_.CountUndispatched(taken);
        }
    }
}

void TCapturedDispatch::DispatchBatch(size_t taken) {
    // The writer's `OutputDebugStringW` made its text 8-bit in the code
    // page; it goes back to UTF-16 the same way, before the lock.
    for (size_t i = 0; i < taken; ++i) {
        const CapturedLines lines = SplitCaptured(batch_[i].text);
        texts_[i].first = AnsiToWide(lines.first);
        texts_[i].further = AnsiToWide(lines.further);
    }
    TMutexLock lock(stage_.OutputLock());
    stage_.ReadSettingsOnceLocked();
    for (size_t i = 0; i < taken; ++i) Dispatch(batch_[i], texts_[i]);
}

void TCapturedDispatch::Dispatch(const CapturedString& captured, const WideLines& texts) {
    const TBlockLines block = TBlockLines::FromText(std::wstring_view(texts.further));
    TraceEntry entry;
    entry.source = captured.writer->source;
    entry.session = &captured.writer->naming;
    entry.utf8Session = &captured.writer->utf8Naming;
    entry.time = captured.time;
    entry.text = texts.first;
    if (!texts.further.empty()) {
        entry.kind = MessageKind::Block;
        entry.block = &block;
    }
    try {
        stage_.DispatchLocked(entry);
    } catch (const std::exception&) {
        // An output that fails (a file that cannot be opened) has no caller
        // to tell here; the next string tries it again.
    }
}

}  // namespace norvale
