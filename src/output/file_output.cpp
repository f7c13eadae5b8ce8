#include "output/file_output.h"

#include <algorithm>

#include "common/call_profile.h"
#include "common/errors.h"
#include "common/system_error.h"
#include "output/formatting.h"
#include "output/output_file_name.h"

namespace norvale {

namespace {

constexpr char kEndOfFileMarker = 0x1A;
constexpr uint64_t kMarkerSearchLength = 128;
constexpr uint64_t kMebibyte = 1024 * 1024;
constexpr size_t kLineEndLength = 2;
// Names with a process id in them come and go: past this many the days are
// forgotten, and a name forgotten falls back on its file's time.
constexpr size_t kRememberedDays = 1024;

// Gives what stopped the rotation of `name`; empty once its older files have
// moved up and `name` is free.
std::string RotateFiles(const std::string& name, uint32_t keep) {
    const auto exists = [&](uint32_t index) { return FileExists(RotatedName(name, index)); };
    for (const RotationStep& step : RotationPlan(keep, exists)) {
        const std::string from = RotatedName(name, step.from);
        const bool deletes = step.to == 0;
        const uint32_t error = deletes ? FileDelete(from) : FileRename(from, RotatedName(name, step.to));
        if (error == 0 || !step.required) continue;
        return "The output file \"" + name + "\" is written on, not rotated: cannot " +
               (deletes ? "delete" : "rename") + " \"" + from + "\": " + SystemErrorText(error);
    }
    return {};
}

}  // namespace

TFileOutput::~TFileOutput() {
    try {
        CloseOutputFile();
    } catch (const std::exception&) {
        // Nothing is left to report a failure to.
    }
}

// Counted and said here, where it happens: a received entry's caller has
// nobody to tell.
void TFileOutput::Fail(const char* what, uint32_t error) {
    std::string message =
        std::string("cannot ") + what + " output file \"" + currentFileName_ + "\": " + SystemErrorText(error);
    ++failures_;
    failedName_ = currentFileName_;
    failure_ = message;
    PublishProblem();
    throw EInOutError(std::move(message), error);
}

void TFileOutput::PublishProblem() {
    std::string problem = retries_.Problem();
    if (!failure_.empty()) {
        if (!problem.empty()) problem += "; ";
        problem += "Output file failures: " + std::to_string(failures_) + ", the latest: " + failure_;
    }
    std::lock_guard lock(problemLock_);
    problem_ = std::move(problem);
}

void TFileOutput::OpenOutputFile(std::string_view expandedName) {
    const std::string_view cut = expandedName.substr(0, kMaxFileNameLength);
    if (outputFileOpen_ && cut == currentFileName_) return;
    if (outputFileOpen_) CloseOutputFile();
    currentFileName_ = cut;
    const std::string& name = currentFileName_;

    uint32_t error = FileOpenExisting(name, file_);
    if (error == 0) {
        CutAtEndOfFileMarker();
    } else if (IsFileNotFound(error)) {
        // Only a file that is not there is created: an existing file that
        // cannot be opened for appending must not be replaced and lost.
        error = FileCreate(name, file_);
        if (error != 0) Fail("open", error);
    } else {
        Fail("open", error);
    }
    unwritten_.clear();
    outputFileOpen_ = true;
    if (!failure_.empty() && name == failedName_) {
        failure_.clear();
        PublishProblem();
    }
    written_.size = 0;
    if (rotation_.On()) {
        FileSize(file_.get(), written_.size);
        written_.lastWrittenDay = rotation_.daily ? WrittenDay() : 0;
    }
}

uint32_t TFileOutput::WrittenDay() const {
    const auto known = writtenDays_.find(currentFileName_);
    return known != writtenDays_.end() ? known->second : LastWrittenDay();
}

// A file of an earlier day, from before a restart too, is due at once.
uint32_t TFileOutput::LastWrittenDay() const {
    uint64_t ticks = 0;
    if (FileLastWriteTime(file_.get(), ticks) != 0) return 0;
    try {
        return DayNumber(LocalTimeOfFileTime(ticks));
    } catch (const std::exception&) {
        return 0;
    }
}

void TFileOutput::ApplyOptions(const OptionsSettings& options) {
    const bool wasOn = rotation_.On();
    rotation_ = RotationSettings{options.FileMaxMB * kMebibyte, options.FileDaily, options.FileKeep};
    // The size is only counted while rotation is on: an open file's is read again.
    if (!wasOn && rotation_.On() && outputFileOpen_) {
        FileSize(file_.get(), written_.size);
        written_.size += unwritten_.size();
    }
    if (rotation_.daily && written_.lastWrittenDay == 0 && outputFileOpen_) written_.lastWrittenDay = WrittenDay();
}

std::string TFileOutput::Problem() const {
    std::lock_guard lock(problemLock_);
    return problem_;
}

// A file in the way (a reader that does not share deletion) leaves the entry
// in the current file, and no name is tried again within a second. Whether
// the file is still due after the entry: then it is tried again.
bool TFileOutput::RotateIfDue(uint64_t entryBytes, uint32_t today) {
    if (!RotationDue(rotation_, written_, entryBytes, today)) return false;
    const auto now = now_();
    const std::string name = currentFileName_;
    if (!retries_.MayTry(name, now)) return true;
    CloseOutputFile();
    std::string problem = RotateFiles(name, rotation_.keep);
    const bool blocked = !problem.empty();
    if (blocked) {
        retries_.Failed(name, now, std::move(problem));
    } else {
        retries_.Succeeded(name);
    }
    PublishProblem();
    OpenOutputFile(name);
    return blocked;
}

void TFileOutput::CutAtEndOfFileMarker() {
    uint64_t size = 0;
    uint32_t error = FileSize(file_.get(), size);
    const uint64_t tailLength = std::min(size, kMarkerSearchLength);
    char tail[kMarkerSearchLength];
    uint32_t read = 0;
    if (error == 0) error = FileReadAt(file_.get(), size - tailLength, tail, static_cast<uint32_t>(tailLength), read);
    if (error == 0) {
        const char* marker = std::find(tail, tail + read, kEndOfFileMarker);
        error = marker == tail + read ? FileSeekToEnd(file_.get())
                                      : FileTruncate(file_.get(), size - tailLength + (marker - tail));
    }
    if (error != 0) {
        file_.reset();
        Fail("open", error);
    }
}

void TFileOutput::CloseOutputFile() {
    if (!outputFileOpen_) return;
    outputFileOpen_ = false;
    if (written_.lastWrittenDay != 0) {
        if (writtenDays_.size() >= kRememberedDays) writtenDays_.clear();
        writtenDays_[currentFileName_] = written_.lastWrittenDay;
    }
    uint32_t error = 0;
    if (!unwritten_.empty()) error = FileWrite(file_.get(), unwritten_.data(), static_cast<uint32_t>(unwritten_.size()));
    unwritten_.clear();
    const uint32_t closeError = FileClose(file_);
    if (error == 0) error = closeError;
    if (error != 0) Fail("write", error);
}

void TFileOutput::Discard() {
    outputFileOpen_ = false;
    unwritten_.clear();
    file_.reset();
}

void TFileOutput::WriteWholeBuffers() {
    const size_t whole = unwritten_.size() - unwritten_.size() % kBufferSize;
    if (whole == 0) return;
    const TStageTimer timer(CallStage::FileWrites);
    const uint32_t error = FileWrite(file_.get(), unwritten_.data(), static_cast<uint32_t>(whole));
    if (error != 0) {
        // The file is released, so the next entry starts again from opening it.
        Discard();
        Fail("write", error);
    }
    unwritten_.erase(0, whole);
    // One huge entry must not keep its memory for the rest of the run.
    if (unwritten_.capacity() > 2 * kMaxGathered) unwritten_.shrink_to_fit();
}

void TFileOutput::WriteBuffered() {
    if (!BytesWaiting()) return;
    const uint32_t error = FileWrite(file_.get(), unwritten_.data(), static_cast<uint32_t>(unwritten_.size()));
    unwritten_.clear();
    if (error != 0) {
        Discard();
        Fail("write", error);
    }
}

// A batch's lines are on disk when it ends, as a single entry's are when its
// call returns: `FlushOutputFile` closes the file once for the batch.
void TFileOutput::GatherBatch(bool on) {
    gathering_ = on;
    if (on) return;
    if (settings_.FlushOutputFile) {
        CloseOutputFile();
    } else if (outputFileOpen_) {
        WriteWholeBuffers();
    }
}

void TFileOutput::Put(std::string_view bytes) {
    unwritten_ += bytes;
    written_.size += bytes.size();
    if (unwritten_.size() >= kMaxGathered) WriteWholeBuffers();
}

void TFileOutput::WriteText(std::string_view text) {
    Put(text);
    Put("\r\n");
}

const std::string& TFileOutput::FileNameFor(const SessionNaming& session, NameValues names) {
    const bool same = names == namedValues_ && session.ProcessID == namedSession_.ProcessID &&
                      session.Project == namedSession_.Project && session.Module == namedSession_.Module &&
                      session.Class == namedSession_.Class && session.Machine == namedSession_.Machine &&
                      settings_.Filename == namedTemplate_;
    if (!same) {
        expandedName_ = OutputFileName(settings_.Filename, &session, names);
        namedTemplate_ = settings_.Filename;
        namedSession_ = session;
        namedValues_ = names;
    }
    return expandedName_;
}

template <typename WriteLines>
void TFileOutput::WriteEntry(const SessionNaming* session, NameValues names, uint64_t entryBytes,
                             WriteLines writeLines) {
    const TStageTimer timer(CallStage::File);
    // Most templates hold no placeholder: spare the copy on every line.
    if (session != nullptr && settings_.Filename.find('%') != std::string::npos) {
        OpenOutputFile(FileNameFor(*session, names));
    } else {
        OpenOutputFile(settings_.Filename);
    }
    const uint32_t today = rotation_.daily ? DayNumber(today_()) : 0;
    const bool stillDue = rotation_.On() && RotateIfDue(entryBytes, today);
    try {
        writeLines();
        // Kept while a rotation waits, so that a day's one is tried again.
        if (rotation_.daily && !stillDue) written_.lastWrittenDay = today;
        if (!gathering_) WriteWholeBuffers();
    } catch (...) {
        if (settings_.FlushOutputFile && outputFileOpen_) {
            try {
                CloseOutputFile();
            } catch (const std::exception&) {
                // The first failure is the one reported.
            }
        }
        throw;
    }
    if (settings_.FlushOutputFile && !gathering_) CloseOutputFile();
}

// Each line and each block is one entry: opened once, closed once when
// `FlushOutputFile` is on.
void TFileOutput::WriteLine(const TraceLine& line) {
    WriteEntry(line.session, line.names, line.text.size() + kLineEndLength, [&] { WriteText(line.text); });
}

void TFileOutput::WriteBlock(const TraceBlock& block) {
    uint64_t bytes = block.heading.size() + kLineEndLength;
    for (const auto& entry : block.entries) bytes += block.indent.size() + entry.size() + kLineEndLength;
    WriteEntry(block.session, block.names, bytes,
               [&] { WriteBlockAsLines(block, [this](std::string_view text) { WriteText(text); }); });
}

}  // namespace norvale
