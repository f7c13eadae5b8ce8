#include <windows.h>

#include <string>

#include "common/version.h"

namespace {

void WriteStdOut(const std::string& text) {
    const HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    if (out == nullptr || out == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    WriteFile(out, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    const norvale::FileVersion version = norvale::OwnFileVersion();
    WriteStdOut("brantwick Norvale " + norvale::ShortVersionText(version) + "\r\n" +
                norvale::LongVersionText(version) + "\r\n");
    return 0;
}
