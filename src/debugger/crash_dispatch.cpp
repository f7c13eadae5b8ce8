#include "debugger/crash_dispatch.h"

#include "capture/captured_writer.h"
#include "common/utf8_text.h"

namespace norvale {

void TCrashDispatch::Report(const CrashReport& report) noexcept {
    try {
        const auto writer = MakeCapturedWriter(machine_, report.processId, Utf8ToWide(report.imageFile));
        const std::wstring text = Utf8ToWide(report.text);
        std::wstring frames;
        for (const std::string& frame : report.frames) {
            if (!frames.empty()) frames += L'\n';
            frames += Utf8ToWide(frame);
        }
        const TBlockLines block = TBlockLines::FromText(std::wstring_view(frames));
        TraceEntry entry;
        entry.source = writer->source;
        entry.session = &writer->naming;
        entry.utf8Session = &writer->utf8Naming;
        entry.kind = MessageKind::Crash;
        entry.time = LocalNow();
        entry.text = text;
        if (!frames.empty()) entry.block = &block;
        TMutexLock lock(stage_.OutputLock());
        stage_.ReadSettingsOnceLocked();
        stage_.DispatchLocked(entry);
    } catch (const std::exception&) {
        // An output that fails (a file that cannot be opened) has nobody to
        // tell on this thread; the window shows the crash all the same.
    }
}

}  // namespace norvale
