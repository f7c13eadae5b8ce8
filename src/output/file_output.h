#pragma once

#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <string_view>

#include "common/clock.h"
#include "common/file_io.h"
#include "output/file_rotation.h"
#include "output/options_follower.h"
#include "output/output_file_name.h"
#include "output/output.h"
#include "output/output_settings.h"

namespace norvale {

// The output file: appended to across runs, kept open between entries
// (unless `FlushOutputFile`), closed when an entry arrives for another
// expanded name. Writes go through a 128-byte buffer: between entries the
// file holds every byte up to the last whole 128 bytes, and fewer than 128
// wait. An entry's whole buffers go out in one write at its end, so that a
// block costs one system call, not one per 128 bytes. With rotation on (the
// `Options` values), an entry that finds its file due starts a new one, the
// old one renamed aside. Not thread-safe: every call is made under the output
// lock, except `Problem`.
class TFileOutput final : public IOutput, public IOptionsFollower {
public:
    static constexpr size_t kBufferSize = 128;
    static constexpr size_t kMaxFileNameLength = kMaxOutputFileNameLength;
    // A large entry writes its whole buffers each time this much has gathered.
    static constexpr size_t kMaxGathered = 512 * kBufferSize;

    // `today`: the server's clock, which decides when a day is new; `now`:
    // the one that times the pause before a blocked rotation is tried again.
    explicit TFileOutput(const OutputSettings& settings, std::function<LocalDateTime()> today = LocalNow,
                         std::function<TRotationRetries::Clock::time_point()> now = TRotationRetries::Clock::now)
        : settings_(settings), today_(std::move(today)), now_(std::move(now)) {}
    ~TFileOutput() override;

    void WriteLine(const TraceLine& line) override;
    void WriteBlock(const TraceBlock& block) override;
    // Takes `FileMaxMB`, `FileDaily` and `FileKeep`; the next entry obeys them.
    void ApplyOptions(const OptionsSettings& options) override;

    // Makes the file open under `name`, appending to an existing file.
    void OpenOutputFile(std::string_view name);
    // Writes the buffered bytes and releases the file; the next entry opens it
    // again.
    void CloseOutputFile();

    // Writes what waits in the buffer and keeps the file open.
    void WriteBuffered();
    // While on, the entries' whole buffers wait for the end of the batch they
    // come in (one write for the batch), and with `FlushOutputFile` the file
    // stays open until then; turning it off writes them, or closes the file.
    void GatherBatch(bool on);

    bool OutputFileOpen() const { return outputFileOpen_; }
    bool BytesWaiting() const { return outputFileOpen_ && !unwritten_.empty(); }
    const std::string& CurrentFileName() const { return currentFileName_; }
    // What keeps the file from rotating, and the latest failed open or write
    // with the count of them all until that name opens again; empty while
    // nothing does. From any thread, without the output lock.
    std::string Problem() const;

private:
    void WriteText(std::string_view text);
    template <typename WriteLines>
    void WriteEntry(const SessionNaming* session, NameValues names, uint64_t entryBytes, WriteLines writeLines);
    const std::string& FileNameFor(const SessionNaming& session, NameValues names);
    bool RotateIfDue(uint64_t entryBytes, uint32_t today);
    uint32_t WrittenDay() const;
    uint32_t LastWrittenDay() const;
    void CutAtEndOfFileMarker();
    void Put(std::string_view bytes);
    void WriteWholeBuffers();
    void Discard();
    [[noreturn]] void Fail(const char* what, uint32_t error);
    void PublishProblem();

    const OutputSettings& settings_;
    const std::function<LocalDateTime()> today_;
    const std::function<TRotationRetries::Clock::time_point()> now_;
    RotationSettings rotation_;
    RotatingFile written_;
    // The day each expanded name was last written in this run, by the
    // server's clock, which the file's own time (the system's) need not match.
    std::map<std::string, uint32_t> writtenDays_;
    TRotationRetries retries_;
    bool gathering_ = false;
    // The last expanded name and what it was made of: a session's entries
    // come in runs, and most of them need not make it again.
    std::string namedTemplate_;
    SessionNaming namedSession_;
    NameValues namedValues_ = NameValues::Local;
    std::string expandedName_;
    uint64_t failures_ = 0;
    std::string failedName_;
    std::string failure_;
    mutable std::mutex problemLock_;
    std::string problem_;
    bool outputFileOpen_ = false;
    std::string currentFileName_;
    UniqueFile file_;
    std::string unwritten_;
};

}  // namespace norvale
