#include "output/file_output.h"

#include <algorithm>

#include "common/call_profile.h"
#include "common/errors.h"
#include "common/system_error.h"
#include "output/formatting.h"

namespace norvale {

namespace {

constexpr char kEndOfFileMarker = 0x1A;
constexpr uint64_t kMarkerSearchLength = 128;

}  // namespace

TFileOutput::~TFileOutput() {
    try {
        CloseOutputFile();
    } catch (const std::exception&) {
        // Nothing is left to report a failure to.
    }
}

void TFileOutput::Fail(const char* what, uint32_t error) {
    throw EInOutError(std::string("cannot ") + what + " output file \"" + currentFileName_ +
                          "\": " + SystemErrorText(error),
                      error);
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

void TFileOutput::Put(std::string_view bytes) {
    unwritten_ += bytes;
    if (unwritten_.size() >= kMaxGathered) WriteWholeBuffers();
}

void TFileOutput::WriteText(std::string_view text) {
    Put(text);
    Put("\r\n");
}

template <typename WriteLines>
void TFileOutput::WriteEntry(const SessionNaming* session, WriteLines writeLines) {
    const TStageTimer timer(CallStage::File);
    // Most templates hold no placeholder: spare the copy on every line.
    if (session != nullptr && settings_.Filename.find('%') != std::string::npos) {
        OpenOutputFile(ExpandFileName(settings_.Filename, session));
    } else {
        OpenOutputFile(settings_.Filename);
    }
    try {
        writeLines();
        WriteWholeBuffers();
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
    if (settings_.FlushOutputFile) CloseOutputFile();
}

// Each line and each block is one entry: opened once, closed once when
// `FlushOutputFile` is on.
void TFileOutput::WriteLine(const TraceLine& line) {
    WriteEntry(line.session, [&] { WriteText(line.text); });
}

void TFileOutput::WriteBlock(const TraceBlock& block) {
    WriteEntry(block.session,
               [&] { WriteBlockAsLines(block, [this](std::string_view text) { WriteText(text); }); });
}

}  // namespace norvale
