#include "receive/received_dispatch.h"

#include "common/call_profile.h"

namespace norvale {

namespace {

// Entries dispatched under one hold of the output lock: a client's call
// waits for the lock no longer than these take.
constexpr size_t kBatch = 256;

}  // namespace

TReceivedDispatch::TReceivedDispatch(TReceiveQueue& queue, TOutputStage& stage)
    : queue_(queue), stage_(stage), thread_([this] { Run(); }) {}

TReceivedDispatch::~TReceivedDispatch() { Stop(); }

void TReceivedDispatch::Stop() {
    if (!thread_.joinable()) return;
    queue_.Close();
    thread_.join();
}

void TReceivedDispatch::Run() {
    batch_.reserve(kBatch);
    while (queue_.Take(batch_, kBatch) > 0) {
        try {
            DispatchBatch();
        } catch (const std::exception&) {
            // The output lock's failure: the batch is lost, and the next one
            // tries again.
        }
        batch_.clear();
    }
}

void TReceivedDispatch::DispatchBatch() {
    const TStageTimer timer(CallStage::ReceiveDispatch);
    TMutexLock lock(stage_.OutputLock());
    stage_.ReadSettingsOnceLocked();
    TOutputStage::TBatch batch(stage_);
    for (const ReceivedEntry& received : batch_) Dispatch(received);
}

void TReceivedDispatch::Dispatch(const ReceivedEntry& received) {
    const TReceivedSource& source = *received.source;
    const TBlockLines block = TBlockLines::FromText(std::wstring_view(received.further));
    TraceEntry entry;
    entry.source = source.source;
    entry.session = &source.naming;
    entry.utf8Session = &source.utf8Naming;
    entry.fileSession = &source.fileNaming;
    entry.className = source.source->Class;
    entry.ansiClassName = source.naming.Class;
    entry.threadId = received.threadId;
    entry.code = received.code;
    entry.kind = received.kind;
    entry.time = received.time;
    entry.text = received.text;
    if (received.kind == MessageKind::Block) entry.block = &block;
    entry.received = true;
    try {
        stage_.DispatchLocked(entry);
    } catch (const std::exception&) {
        // An output that fails (a file that cannot be opened) has nobody to
        // tell here; the next entry tries it again.
    }
}

}  // namespace norvale
