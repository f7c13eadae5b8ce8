#pragma once

#include <string>
#include <string_view>

#include "common/file_io.h"
#include "output/output.h"
#include "output/output_settings.h"

namespace norvale {

// The output file: appended to across runs, kept open between entries
// (unless `FlushOutputFile`), closed when an entry arrives for another
// expanded name. Writes go through a 128-byte buffer: between entries the
// file holds every byte up to the last whole 128 bytes, and fewer than 128
// wait. An entry's whole buffers go out in one write at its end, so that a
// block costs one system call, not one per 128 bytes. Not thread-safe: every
// call is made under the output lock.
class TFileOutput final : public IOutput {
public:
    static constexpr size_t kBufferSize = 128;
    static constexpr size_t kMaxFileNameLength = 259;
    // A large entry writes its whole buffers each time this much has gathered.
    static constexpr size_t kMaxGathered = 512 * kBufferSize;

    explicit TFileOutput(const OutputSettings& settings) : settings_(settings) {}
    ~TFileOutput() override;

    void WriteLine(const TraceLine& line) override;
    void WriteBlock(const TraceBlock& block) override;

    // Makes the file open under `name`, appending to an existing file.
    void OpenOutputFile(std::string_view name);
    // Writes the buffered bytes and releases the file; the next entry opens it
    // again.
    void CloseOutputFile();

    bool OutputFileOpen() const { return outputFileOpen_; }
    const std::string& CurrentFileName() const { return currentFileName_; }

private:
    void WriteText(std::string_view text);
    template <typename WriteLines>
    void WriteEntry(const SessionNaming* session, WriteLines writeLines);
    void CutAtEndOfFileMarker();
    void Put(std::string_view bytes);
    void WriteWholeBuffers();
    void Discard();
    [[noreturn]] void Fail(const char* what, uint32_t error);

    const OutputSettings& settings_;
    bool outputFileOpen_ = false;
    std::string currentFileName_;
    UniqueFile file_;
    std::string unwritten_;
};

}  // namespace norvale
