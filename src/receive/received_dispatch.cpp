#include "receive/received_dispatch.h"

#include <algorithm>
#include <new>
#include <stdexcept>

#include "common/call_profile.h"
#include "receive/received_text.h"

namespace norvale {

namespace {

// Entries dispatched under one hold of the output lock: a client's call
// waits for the lock no longer than these take.
constexpr size_t kBatch = 256;

// The widest indent an output gives the entry's further lines: the prefix's
// in the code page or in UTF-8, whichever is longer.
size_t IndentOf(const ReceivedEntry& received, const OutputSettings& settings) {
    const TReceivedSource& source = *received.source;
    const std::string ansi = FormatPrefix(settings, source.naming, received.threadId, received.code,
                                          source.naming.Class, received.time.time);
    const std::string utf8 = FormatPrefix(settings, source.utf8Naming, received.threadId, received.code,
                                          source.utf8Naming.Class, received.time.time);
    return std::max(BlockIndent(ansi).size(), BlockIndent(utf8, FileEncoding::Utf8).size());
}

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
    for (ReceivedEntry& received : batch_) Dispatch(received);
}

void TReceivedDispatch::Dispatch(ReceivedEntry& received) {
    try {
        DispatchLocked(received);
    } catch (const std::bad_alloc&) {
        // What the message itself asked for and could not have.
        queue_.CountDropped();
    } catch (const std::length_error&) {
        queue_.CountDropped();
    } catch (const std::exception&) {
        // An output that fails (a file that cannot be opened) has nobody to
        // tell here; the next entry tries it again.
    }
}

void TReceivedDispatch::DispatchLocked(ReceivedEntry& received) {
    const TReceivedSource& source = *received.source;
    if (CarriesFurtherLines(received.kind) && !received.further.empty() &&
        CutFurtherLines(received.further, received.text, IndentOf(received, stage_.Settings()),
                        MostWrittenFor(received.frameBytes)) > 0) {
        ++shortened_;
    }
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
    if (CarriesFurtherLines(received.kind)) entry.block = &block;
    entry.received = true;
    stage_.DispatchLocked(entry);
}

}  // namespace norvale
