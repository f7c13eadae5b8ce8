#include "capture/captured_dispatch.h"

#include <vector>

#include "capture/captured_text.h"
#include "common/ansi_text.h"

namespace norvale {

namespace {

// Strings taken from the queue at once: the reader waits for the queue's
// lock only while these few are traded.
constexpr size_t kBatch = 256;

}  // namespace

TCapturedDispatch::TCapturedDispatch(TDebugStringQueue& queue, TOutputStage& stage)
    : queue_(queue), stage_(stage), thread_([this] { Run(); }) {}

TCapturedDispatch::~TCapturedDispatch() {
    queue_.Close();
    thread_.join();
}

void TCapturedDispatch::Run() {
    std::vector<CapturedString> batch(kBatch);
    while (const size_t taken = queue_.Take(batch)) {
        // With no server object the stage may never have read the settings.
        stage_.ReadSettingsOnce();
        for (size_t i = 0; i < taken; ++i) Dispatch(batch[i]);
    }
}

void TCapturedDispatch::Dispatch(const CapturedString& captured) {
    // The writer's `OutputDebugStringW` made its text 8-bit in the code page;
    // it goes back to UTF-16 the same way.
    const CapturedLines lines = SplitCaptured(captured.text);
    const std::wstring first = AnsiToWide(lines.first);
    const std::wstring further = AnsiToWide(lines.further);
    const TBlockLines block = TBlockLines::FromText(std::wstring_view(further));
    TraceEntry entry;
    entry.source = captured.writer->source;
    entry.session = &captured.writer->naming;
    entry.time = captured.time;
    entry.text = first;
    if (!lines.further.empty()) {
        entry.kind = MessageKind::Block;
        entry.block = &block;
    }
    try {
        stage_.Dispatch(entry);
    } catch (const std::exception&) {
        // An output that fails (a file that cannot be opened) has no caller
        // to tell here; the next string tries it again.
    }
}

}  // namespace norvale
