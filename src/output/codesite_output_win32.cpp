#include "output/codesite_output.h"

#include <chrono>
#include <vector>

#include "common/win32_resources.h"
#include "config/registry_values.h"
#include "output/codesite_record.h"

namespace norvale {

namespace {

constexpr char kSatelliteClass[] = "TRzFrmCSSatellite";
constexpr char kSatelliteTitle[] = "CodeSite Satellite Window";
constexpr char kViewerClass[] = "TRzFrmCodeSite";
constexpr char kViewerTitle[] = "CodeSite (32-bit)";
constexpr char kStringListClass[] = "TStringList";
constexpr DWORD kWindowSearchInterval = 50;

std::string ThisProgramName() {
    char path[MAX_PATH + 1] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    return CodeSiteProgramName(path);
}

BOOL CALLBACK TakeViewerWindow(HWND window, LPARAM found) {
    if (GetParent(window) != nullptr || !IsWindowVisible(window)) return TRUE;
    char title[256] = {};
    if (GetWindowTextA(window, title, sizeof title) == 0 || std::string_view(title) != kViewerTitle) return TRUE;
    *reinterpret_cast<HWND*>(found) = window;
    return FALSE;
}

HWND ViewerWindowOfThread(DWORD threadId) {
    HWND found = nullptr;
    EnumThreadWindows(threadId, TakeViewerWindow, reinterpret_cast<LPARAM>(&found));
    return found;
}

// A 32-bit viewer's installer writes its path where 32-bit programs see the
// machine's keys; a 64-bit one's, where we do.
std::string ViewerExePath() {
    for (const RegView view : {RegView::Native, RegView::Bits32}) {
        std::string path = ReadRegString(RegLocalMachine(), TRzCodeSite::kExePathKey, "ExePath", "", view);
        if (!path.empty()) return path;
    }
    return {};
}

}  // namespace

std::unique_ptr<IViewerOutput> MakeCodeSiteViewer() { return std::make_unique<TRzCodeSite>(); }

TRzCodeSite::TRzCodeSite()
    : byPass_(CodeSiteFlagFromText(ReadRegString(RegCurrentUser(), kByPassKey, "ByPass", ""))),
      programName_(ThisProgramName()) {}

void TRzCodeSite::WriteLine(const TraceLine& line) {
    if (!enabled_) return Lose();
    SendCodeSiteMessage(ViewerKindOf(line.kind), line.viewerText, {}, {});
}

void TRzCodeSite::WriteBlock(const TraceBlock& block) {
    if (!enabled_) return Lose();
    SendCodeSiteMessage(MessageKind::Block, block.heading, CodeSiteListText(block.entries), kStringListClass);
}

void TRzCodeSite::SendCodeSiteMessage(MessageKind kind, std::string_view message, std::string_view data,
                                      std::string_view className) {
    std::vector<uint8_t> record = BuildCodeSiteMessage(kind, GetTickCount(), message, data, programName_, className);
    const HWND target = FindViewerWindow();
    if (target == nullptr) return Lose();
    COPYDATASTRUCT copy{static_cast<ULONG_PTR>(kind), static_cast<DWORD>(record.size()), record.data()};
    DWORD_PTR ignored = 0;
    // A viewer that does not answer in time loses the message, as a missing
    // one would: the caller holds the output lock that every client waits for.
    if (!SendMessageTimeoutA(target, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&copy), SMTO_ABORTIFHUNG,
                             kSendTimeout, &ignored)) {
        Lose();
    }
}

HWND TRzCodeSite::FindViewerWindow() {
    if (!byPass_) {
        if (const HWND satellite = FindWindowA(kSatelliteClass, kSatelliteTitle)) return satellite;
    }
    if (const HWND viewer = FindWindowA(kViewerClass, kViewerTitle)) return viewer;
    const std::string exePath = ViewerExePath();
    return exePath.empty() ? nullptr : StartViewer(exePath);
}

HWND TRzCodeSite::StartViewer(const std::string& commandLine) {
    std::vector<char> line(commandLine.begin(), commandLine.end());
    line.push_back('\0');
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_SHOWNORMAL;
    PROCESS_INFORMATION started{};
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &started)) {
        enabled_ = false;
        Lose();
        throw ECodeSiteException("The CodeSite (32-bit) Viewer could not be started");
    }
    const UniqueHandle process(started.hProcess);
    const UniqueHandle thread(started.hThread);
    WaitForInputIdle(process.get(), kIdleTimeout);
    // Being idle does not mean the window exists yet.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kWindowSearchTime);
    for (;;) {
        if (const HWND window = ViewerWindowOfThread(started.dwThreadId)) return window;
        if (std::chrono::steady_clock::now() >= deadline) return nullptr;
        if (WaitForSingleObject(process.get(), kWindowSearchInterval) == WAIT_OBJECT_0) return nullptr;
    }
}

}  // namespace norvale
