#include <algorithm>
#include <string>

#include "common/utf8_text.h"
#include "output/console_output.h"

namespace norvale {

namespace {

class TSystemConsoleHost final : public IConsoleHost {
public:
    bool HasUsableStandardOutput() override {
        const HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
        return output != nullptr && output != INVALID_HANDLE_VALUE && GetFileType(output) != FILE_TYPE_UNKNOWN;
    }
    FileHandle StandardOutput() override { return GetStdHandle(STD_OUTPUT_HANDLE); }
    // Results are not checked: a console that could not be made shows up as
    // a failing write.
    void AllocateConsole() override { AllocConsole(); }
    void FreeConsole() override { ::FreeConsole(); }
    uint32_t WriteUtf8(FileHandle output, std::string_view text) override {
        DWORD mode = 0;
        if (!GetConsoleMode(output, &mode)) return IConsoleHost::WriteUtf8(output, text);
        const std::wstring wide = Utf8ToWide(text);
        // Older consoles refuse one write of more than about 64 KB; a pair
        // of surrogates is never split between two writes.
        constexpr size_t kChunk = 8192;
        for (size_t at = 0; at < wide.size();) {
            size_t size = std::min(kChunk, wide.size() - at);
            if (at + size < wide.size() && IS_HIGH_SURROGATE(wide[at + size - 1])) --size;
            DWORD written = 0;
            if (!WriteConsoleW(output, wide.data() + at, static_cast<DWORD>(size), &written, nullptr)) {
                return GetLastError();
            }
            at += size;
        }
        return 0;
    }
};

}  // namespace

std::unique_ptr<IConsoleHost> MakeSystemConsoleHost() { return std::make_unique<TSystemConsoleHost>(); }

}  // namespace norvale
