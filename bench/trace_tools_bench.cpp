// The trace window's tools on a million rows, in a server started by hand
// with its window shown: a saved trace of 1,000,000 lines opened (Open…,
// through the real file dialog), then, in that document, a find that no row
// matches and a pattern typed into Show and cleared. A thread sends the frame
// WM_NULL every 20 ms and times the answer, another the same to an idle
// window of this process (the floor); each phase prints how long it took and
// the answers' median, 99th percentile and longest.

#include <windows.h>
#include <commctrl.h>

#include <fstream>
#include <string>

#include "bench/bench_support_win32.h"
#include "shell/shell_resources.h"
#include "shell/trace_form.h"

namespace norvale {
namespace {

using namespace bench;

constexpr int kLines = 1'000'000;
constexpr const char* kFile = "C:\\norvale-saved-trace.txt";

void WriteSavedTrace() {
    std::ofstream file(kFile, std::ios::binary);
    file << "Date\tTime\tMachine\tProcess\tProject\tModule\tClass\tThread\tCode\tMessage\r\n";
    for (int i = 0; i < kLines; ++i) {
        const int ms = i % 1000, s = i / 1000 % 60, m = i / 60000 % 60;
        char line[256];
        std::snprintf(line, sizeof line,
                      "2026-12-09\t14:%02d:%02d.%03d\tWS12\t000004d2\tBilling\tCore\t%s\t000001a4\t0000000%d\t%s %d\r\n",
                      m, s, ms, i % 7 == 0 ? "TLedger" : "TInvoice", i % 3,
                      i % 3 == 0 ? "Ledger entry failed" : "Posting done for invoice", 40000 + i % 1000);
        file << line;
    }
}

HWND Child(HWND parent, const wchar_t* className, int n) {
    HWND child = nullptr;
    for (int i = 0; i <= n; ++i) child = FindWindowExW(parent, child, className, nullptr);
    return child;
}

// Runs `start`, probing the frame until `done` holds (bounded), and prints
// the phase.
template <typename Start, typename Done>
bool Phase(const char* name, HWND frame, Start start, Done done) {
    const TIdleWindow idle;
    std::atomic<bool> stop{false};
    std::vector<double> frameAnswers, floorAnswers;
    std::thread frameProbe([&] { frameAnswers = Probe(frame, stop, 20, 5000).ms; });
    std::thread floorProbe([&] { floorAnswers = Probe(idle.Handle(), stop, 20, 5000).ms; });
    const auto begin = Clock::now();
    start();
    bool finished = false;
    while (!(finished = done()) && Clock::now() - begin < std::chrono::seconds(300)) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - begin).count();
    stop = true;
    frameProbe.join();
    floorProbe.join();
    std::printf("  %-50s %7.2f s%s\n", name, seconds, finished ? "" : "  NOT DONE within 300 s");
    std::printf("    WM_NULL answer, ms: frame median %.2f, 99th %% %.2f, longest %.2f (%zu probes);"
                " floor %.2f, %.2f, %.2f\n",
                Percentile(frameAnswers, 0.5), Percentile(frameAnswers, 0.99), Percentile(frameAnswers, 1.0),
                frameAnswers.size(), Percentile(floorAnswers, 0.5), Percentile(floorAnswers, 0.99),
                Percentile(floorAnswers, 1.0));
    return finished;
}

int Run() {
    if (RunAndWait("\"" + BinDirectory() + "norvale.exe\" /RegServer") != 0) return 1;
    WriteSavedTrace();
    const UniqueHandle server = StartProcess("\"" + BinDirectory() + "norvale.exe\"");
    const HWND frame = AwaitServerFrame();
    if (!server || frame == nullptr) {
        std::printf("the server did not start\n");
        return 1;
    }
    std::this_thread::sleep_for(std::chrono::seconds(1));
    SendMessageW(frame, WM_COMMAND, ID_AC_SHOWDEBUGWINDOW, 0);
    const HWND client = FindWindowExW(frame, nullptr, L"MDIClient", nullptr);
    const HWND trace = FindWindowExW(client, nullptr, L"TTraceForm", L"Trace");
    DWORD serverId = 0;
    GetWindowThreadProcessId(frame, &serverId);
    std::printf("The trace window's tools on %d rows (norvale_trace_tools_bench)\n", kLines);
    HWND dialog = nullptr;
    // The platform's file dialog apart from the reading.
    Phase(
        "Open\u2026 until its file dialog shows", frame,
        [&] { PostMessageW(trace, WM_COMMAND, TTraceForm::btn_Open, 0); },
        [&] { return (dialog = FindWindowA("#32770", "Open Trace")) != nullptr; });
    HWND opened = nullptr;
    Phase(
        "OK in the dialog until the document shows", frame,
        [&] {
            SetDlgItemTextA(dialog, 0x47c, kFile);
            PostMessageA(dialog, WM_COMMAND, IDOK, 0);
        },
        [&] { return (opened = FindWindowExW(client, nullptr, L"TTraceForm", L"norvale-saved-trace.txt")) != nullptr; });
    const std::wstring read = L"Read " + std::to_wstring(kLines) + L" lines";
    const bool open = opened != nullptr && Phase(
        "then 1,000,000 lines read and shown", frame, [] {},
        [&] {
            return StatusNote(opened) == read &&
                   StatusPartText(opened, 1) == L"Shown: " + std::to_wstring(kLines);
        });
    if (opened != nullptr && !open) {
        std::printf("  the status bar said \"%ls\" and \"%ls\"\n", StatusPartText(opened, 1).c_str(),
                    StatusNote(opened).c_str());
    }
    if (open) {
        Phase(
            "find next, no row matching", frame,
            [&] {
                SendMessageW(Child(opened, L"EDIT", 3), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"nowhere to be found"));
                PostMessageW(opened, WM_COMMAND, TTraceForm::ac_FindNext, 0);
            },
            [&] { return StatusNote(opened).starts_with(L"Find: no shown row matches"); });
        const std::wstring shown = L"Shown: " + std::to_wstring(kLines / 3 + 1);
        Phase(
            "Show /^ledger .*failed$/, a third of them", frame,
            [&] {
                SendMessageW(Child(opened, L"EDIT", 0), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"/^ledger .*failed/"));
            },
            [&] { return StatusPartText(opened, 1) == shown; });
        Phase(
            "Show cleared again", frame,
            [&] { SendMessageW(Child(opened, L"EDIT", 0), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"")); },
            [&] { return StatusPartText(opened, 1) == L"Shown: " + std::to_wstring(kLines); });
    }
    std::printf("  the server's private memory at the end: %.1f MiB\n", PrivateMegabytes(serverId));
    PostThreadMessageW(GetWindowThreadProcessId(frame, nullptr), WM_QUIT, 0, 0);
    if (WaitForSingleObject(server.get(), 30000) != WAIT_OBJECT_0) std::printf("the server did not end\n");
    DeleteFileA(kFile);
    return open ? 0 : 1;
}

}  // namespace
}  // namespace norvale

int main() { return norvale::Run(); }
