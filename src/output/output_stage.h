#pragma once

#include <atomic>
#include <string>

#include "common/mutex.h"
#include "output/buffer_flusher.h"
#include "output/file_output.h"
#include "output/output_settings.h"
#include "output/process_outputs.h"
#include "output/trace_entry.h"

namespace norvale {

// The process's output stage, which its server objects and its other inputs
// share: its copy of the settings, its output file, and the dispatch of every
// entry under the output lock: to the process's entry destinations, then as
// 8-bit lines to the enabled outputs in the order console, screen, viewer,
// file. The screen and the viewer record have 8-bit formats and always get
// the code page; the console and the file get the encoding the options name,
// and the file its rotation. What an entry leaves waiting in the file's
// buffer, a thread of the stage's own writes a second later.
class TOutputStage {
public:
    // `today`: the server's clock, as the file's rotation by day reads it.
    TOutputStage(TMutex& outputLock, TProcessOutputs& outputs, SettingsLocation location,
                 std::function<LocalDateTime()> today = LocalNow);

    // Re-reads the settings and applies them to the console and the screen,
    // and the process's options to its entry destinations.
    void RefreshProperties();

    // A single line: the first output that fails ends the call, later outputs
    // are skipped for that line. A block (`entry.block`): console, screen and
    // file failures end only their own output; a viewer failure reaches the
    // caller. The 8-bit text is made once in each encoding an output needs.
    void Dispatch(const TraceEntry& entry);
    // One of the process's own lines ("Norvale Starting Up"), from no session.
    void DispatchNotice(std::wstring_view text, const LocalDateTime& time);

    // For an input that dispatches its entries in batches, each under one
    // hold of `OutputLock()`: a lock costs a system call, an entry little.
    // With no server object nobody may have read the settings yet, so the
    // batch reads them first when so.
    TMutex& OutputLock() { return outputLock_; }
    void ReadSettingsOnceLocked();
    void DispatchLocked(const TraceEntry& entry);

    // A batch's entries, dispatched while it lives, go to the file in one
    // write at its end, in whole buffers as ever; with `FlushOutputFile` the
    // file is closed once, at its end. A write that fails there loses what
    // the batch gathered (at most 64 KiB), as a failed single write loses its
    // buffer. `End` raises the failure; a batch going out of scope unended
    // writes them then and keeps its failure to itself. After `WriteThrough`
    // nothing waits for a batch's end.
    class TBatch {
    public:
        explicit TBatch(TOutputStage& stage);
        ~TBatch();
        TBatch(const TBatch&) = delete;
        TBatch& operator=(const TBatch&) = delete;
        void End();

    private:
        TOutputStage& stage_;
        bool ended_ = false;
    };

    // Safe from any thread: it takes the output lock.
    void CloseOutputFile();
    // For a process that may be ended without its own end (a console
    // control event, the end of the Windows session): what is buffered
    // reaches the disk now, and every later line as it is written, whatever
    // the settings say from now on.
    void WriteThrough();

    // As last published: read without the lock, by the main thread too.
    bool OutputFileOpen() const { return fileOpen_.load(); }
    // What keeps the output file from rotating; empty while nothing does.
    std::string FileProblem() const { return file_.Problem(); }
    const OutputSettings& Settings() const { return settings_; }

private:
    struct EntryTexts;
    void ReadSettingsLocked();
    // `local`: the console's and the file's texts; `eightBit`: the screen's
    // and the viewer's (the same object when the encodings agree).
    void WriteLine(const EntryTexts& local, const EntryTexts& eightBit);
    void WriteBlock(const EntryTexts& local, const EntryTexts& eightBit);

    TMutex& outputLock_;
    TProcessOutputs& outputs_;
    const SettingsLocation location_;
    OutputSettings settings_;
    bool settingsRead_ = false;
    bool writeThrough_ = false;
    std::atomic<bool> fileOpen_{false};
    TFileOutput file_;
    // After the file, which its thread writes until it ends.
    TBufferFlusher flusher_;
};

}  // namespace norvale
