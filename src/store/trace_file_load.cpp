#include "store/trace_file_load.h"

#include <algorithm>
#include <vector>

#include "common/errors.h"
#include "common/system_error.h"
#include "store/trace_file.h"

namespace norvale {

namespace {

constexpr uint32_t kChunk = 1 << 20;

void Check(uint32_t error, const char* what) {
    if (error != 0) throw EInOutError(std::string(what) + ": " + SystemErrorText(error), error);
}

}  // namespace

TTraceFileLoad::TTraceFileLoad(UniqueFile file, TTraceStore& store, std::function<void()> finished)
    : file_(std::move(file)),
      store_(store),
      finished_(std::move(finished)),
      thread_([this](const std::stop_token& stop) { Run(stop); }) {}

TTraceFileLoad::~TTraceFileLoad() {
    thread_.request_stop();
    thread_.join();
}

TraceLoadProgress TTraceFileLoad::Progress() const {
    TraceLoadProgress progress{bytesRead_.load(), bytesTotal_.load(), rows_.load(), unparsed_.load(), done_.load(), {}};
    if (progress.finished) progress.failure = failure_;
    return progress;
}

void TTraceFileLoad::Run(const std::stop_token& stop) {
    try {
        Read(stop);
    } catch (const std::exception& failure) {
        failure_ = failure.what();
    }
    done_ = true;
    finished_();
}

// Two passes: the lines are counted first (a look for line ends, far quicker
// than the parse), so that the store is made once at its full size.
void TTraceFileLoad::Read(const std::stop_token& stop) {
    uint64_t size = 0;
    Check(FileSize(file_.get(), size), "cannot read the trace file");
    bytesTotal_ = size;
    std::vector<char> chunk(kChunk);
    const auto pass = [&](auto&& use) {
        for (uint64_t offset = 0; offset < size && !stop.stop_requested();) {
            uint32_t read = 0;
            const auto wanted = static_cast<uint32_t>(std::min<uint64_t>(kChunk, size - offset));
            Check(FileReadAt(file_.get(), offset, chunk.data(), wanted, read), "cannot read the trace file");
            if (read == 0) break;
            use(std::string_view(chunk.data(), read));
            offset += read;
        }
    };
    uint64_t lines = 0;
    char last = '\n';
    pass([&](std::string_view bytes) {
        lines += static_cast<uint64_t>(std::count(bytes.begin(), bytes.end(), '\n'));
        last = bytes.back();
    });
    if (last != '\n') ++lines;
    store_.SetCapacity(static_cast<uint32_t>(std::clamp<uint64_t>(lines, 1, UINT32_MAX)));
    TTraceFileReader reader([this](const TraceEntry& entry, const std::vector<std::wstring>& rows, bool timeless) {
        store_.AppendRead(entry, rows, timeless);
    });
    pass([&](std::string_view bytes) {
        reader.Feed(bytes);
        bytesRead_ += bytes.size();
        rows_ = reader.Rows();
        unparsed_ = reader.Unparsed();
    });
    reader.Finish();
    rows_ = reader.Rows();
    unparsed_ = reader.Unparsed();
}

}  // namespace norvale
