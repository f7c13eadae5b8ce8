#include "output/console_output.h"

#include "common/errors.h"
#include "common/system_error.h"

namespace norvale {

TConsoleOutput::TConsoleOutput(std::unique_ptr<IConsoleHost> host)
    : host_(std::move(host)), startedWithOutput_(host_->HasUsableStandardOutput()) {}

void TConsoleOutput::SwitchConsole(bool on) {
    if (startedWithOutput_) return;
    if (on && !consoleAllocated_) {
        host_->AllocateConsole();
        consoleAllocated_ = true;
        bound_ = false;
    } else if (!on && consoleAllocated_) {
        host_->FreeConsole();
        consoleAllocated_ = false;
        // A console allocated again later has new handles: bind afresh.
        bound_ = false;
    }
}

void TConsoleOutput::WriteBlock(const TraceBlock& block) {
    WriteBlockAsLines(block, [&](std::string_view text) { WriteText(text, block.encoding); });
}

void TConsoleOutput::WriteText(std::string_view text, FileEncoding encoding) {
    if (!bound_) {
        output_ = host_->StandardOutput();
        bound_ = true;
    }
    // One write per line, so the line and its break never come apart.
    line_.assign(text);
    line_ += "\r\n";
    const uint32_t error = encoding == FileEncoding::Utf8
                               ? host_->WriteUtf8(output_, line_)
                               : FileWrite(output_, line_.data(), static_cast<uint32_t>(line_.size()));
    if (error != 0) throw EInOutError("cannot write to the console: " + SystemErrorText(error), error);
}

}  // namespace norvale
