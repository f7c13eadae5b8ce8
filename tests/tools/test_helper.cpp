// A second process for the tests: it shares the output lock by name and
// writes through an output stage of its own.
//
//   norvale_test_helper dispatch <lock name> <settings subkey> <tag> <blocks> <start event>
//     writes blocks through an output stage of its own, sharing the output
//     lock by name; it begins once the named start event is set, so that all
//     writers overlap.
//   norvale_test_helper clients <tag> <threads> <messages>
//     a client of the running server: each thread opens a session and sends
//     numbered messages, every 25th followed by a block of three
//     lines ("<tag> m<n>", then "<tag> b<n>" and its lines).
//   norvale_test_helper tracer <tag> <threads> <messages> [<stop event>]
//     the same entries through one Tracer from each thread, until the
//     messages are sent or the named stop event is set; then ends the
//     tracer and writes "delivered D, dropped N" to standard output.
//   norvale_test_helper tracer-dll <way>
//     loads norvale_test_tracer_dll.dll, traces 100 entries through its
//     static tracer and frees it: "closed" closes the tracer first from the
//     DLL's shutdown function, "freed" does not; with "-while-a-call-hangs"
//     the tracer's first call does not return, with "-until-freed" it
//     returns once the DLL was freed. Says on standard error what it did not
//     find (the counts of a close; the DLL gone once freed, unless its
//     tracer's thread still runs) and exits, 1 then.
//   norvale_test_helper command <window class> <command id>
//     posts the command to the first window of that class, as its menu
//     would (used to show the main window for screenshots); the class
//     TTraceForm names the trace window "Trace" inside the main window.
//   norvale_test_helper type <box> <text>
//     sets the text of a box of the trace window "Trace" (0 Show, 1 Hide,
//     2 Highlight, 3 Find), as typing would (for screenshots).
//   norvale_test_helper maximize <window class>
//     maximizes the main window's first document of that class (for
//     screenshots).
//   norvale_test_helper wait-serving <seconds>
//     waits, that long at most, until a Norvale process offers its class;
//     exits with 0 once one does, 1 when none did.
//   norvale_test_helper ctrl-c <output file> <go event> <command line> [<s>]
//     in a console of its own, starts the command line with standard output
//     and error to the file, ignores Ctrl+C itself, and once the named go
//     event is set (60 s or <s> at most) presses Ctrl+C for every process of the
//     console (group 0); then exits with the command's exit code, or says on
//     standard error what did not come and exits 1.

#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include <windows.h>

#include <objbase.h>
#include <tlhelp32.h>

#include "app/serving_signal.h"
#include "common/com_ptr.h"
#include "common/win32_resources.h"
#include "norvale/Norvale_h.h"
#include "norvale/tracer.h"
#include "common/ansi_text.h"
#include "output/output_stage.h"
#include "tests_support/block_check.h"
#include "tests_support/trace_entries.h"
#include "tests_support/wait_until.h"

namespace {

int Dispatch(const std::string& lockName, const std::string& subkey, const std::string& tag, int blocks,
             const std::string& startEvent) {
    using namespace norvale;
    const UniqueHandle start(OpenEventA(SYNCHRONIZE, FALSE, startEvent.c_str()));
    if (!start || WaitForSingleObject(start.get(), 30000) != WAIT_OBJECT_0) return 3;
    TMutex lock(lockName);
    auto outputs = TProcessOutputs::MakeForProcess();
    SettingsLocation location;
    location.subkey = subkey;
    TOutputStage stage(lock, *outputs, location);
    stage.RefreshProperties();
    for (int b = 0; b < blocks; ++b) {
        const std::wstring heading = AnsiToWide(test::BlockHeading(tag, b));
        const std::wstring data = AnsiToWide(test::BlockData(tag, b));
        const TBlockLines lines = TBlockLines::FromText(data);
        stage.Dispatch(test::MakeEntry(nullptr, heading, MessageKind::Block, &lines));
    }
    return 0;
}

bool SendFromOneThread(const std::wstring& tag, int messages) {
    using namespace norvale;
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    bool allSent = false;
    {
        ComPtr<INorvale> norvale;
        ComPtr<IDebugSession> session;
        BSTR project = SysAllocString(tag.c_str());
        if (SUCCEEDED(CoCreateInstance(CLSID_Norvale, nullptr, CLSCTX_LOCAL_SERVER, IID_INorvale, norvale.put_void())) &&
            SUCCEEDED(norvale->OpenSession(project, session.put()))) {
            allSent = true;
            for (int m = 0; m < messages && allSent; ++m) {
                const std::wstring text = tag + L" m" + std::to_wstring(m);
                BSTR message = SysAllocString(text.c_str());
                allSent = SUCCEEDED(session->AddMessage(0, 0, message));
                if (allSent && m % 25 == 24) {
                    const std::wstring blockName = tag + L" b" + std::to_wstring(m);
                    std::wstring data;
                    for (int line = 0; line < 3; ++line) data += blockName + L" l" + std::to_wstring(line) + L"\r\n";
                    BSTR heading = SysAllocString(blockName.c_str());
                    BSTR block = SysAllocString(data.c_str());
                    allSent = SUCCEEDED(session->AddStrings(0, 0, heading, block));
                    SysFreeString(block);
                    SysFreeString(heading);
                }
                SysFreeString(message);
            }
            allSent = allSent && SUCCEEDED(session->CloseSession());
        }
        SysFreeString(project);
    }
    CoUninitialize();
    return allSent;
}

int Clients(const std::string& tag, int threads, int messages) {
    std::vector<std::thread> senders;
    std::vector<char> results(static_cast<size_t>(threads), 0);
    for (int t = 0; t < threads; ++t) {
        senders.emplace_back([&, t] {
            const std::wstring threadTag = std::wstring(tag.begin(), tag.end()) + L"t" + std::to_wstring(t);
            results[static_cast<size_t>(t)] = SendFromOneThread(threadTag, messages) ? 1 : 0;
        });
    }
    for (auto& sender : senders) sender.join();
    for (char result : results) {
        if (result == 0) return 1;
    }
    return 0;
}

std::wstring Numbered(const std::wstring& tag, const wchar_t* kind, int number) {
    return tag + L" " + kind + std::to_wstring(number);
}

int TraceFromThreads(const std::string& tag, int threads, int messages, const std::string& stopEvent) {
    const norvale::UniqueHandle stop(stopEvent.empty() ? nullptr : OpenEventA(SYNCHRONIZE, FALSE, stopEvent.c_str()));
    if (!stopEvent.empty() && !stop) return 3;
    const auto stopped = [&] { return stop && WaitForSingleObject(stop.get(), 0) == WAIT_OBJECT_0; };
    uint64_t delivered = 0;
    uint64_t dropped = 0;
    {
        const std::wstring project(tag.begin(), tag.end());
        norvale::Tracer tracer(project, L"");
        std::vector<std::thread> senders;
        for (int t = 0; t < threads; ++t) {
            senders.emplace_back([&, t] {
                const std::wstring threadTag = project + L"t" + std::to_wstring(t);
                for (int m = 0; m < messages && !stopped(); ++m) {
                    tracer.Message(Numbered(threadTag, L"m", m));
                    if (m % 25 != 24) continue;
                    const std::wstring blockName = Numbered(threadTag, L"b", m);
                    std::wstring data;
                    for (int line = 0; line < 3; ++line) data += Numbered(blockName, L"l", line) + L"\r\n";
                    tracer.Strings(blockName, data);
                    // Until stopped, at a pace a server keeps.
                    if (stop) Sleep(1);
                }
            });
        }
        for (auto& sender : senders) sender.join();
        // Within the bound of the tests that run this.
        tracer.Flush(std::chrono::seconds(60));
        delivered = tracer.Delivered();
        dropped = tracer.Dropped();
    }
    std::printf("delivered %llu, dropped %llu\n", static_cast<unsigned long long>(delivered),
                static_cast<unsigned long long>(dropped));
    return 0;
}

int TracerInADll(const std::string& way) {
    const bool closes = way.starts_with("closed");
    const bool hangs = way.find("-while-a-call-hangs") != std::string::npos;
    const bool returns = way.ends_with("-until-freed");
    const auto threads = [] {
        const norvale::UniqueHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
        THREADENTRY32 thread{};
        thread.dwSize = sizeof thread;
        int count = 0;
        for (BOOL more = Thread32First(snapshot.get(), &thread); more; more = Thread32Next(snapshot.get(), &thread)) {
            count += thread.th32OwnerProcessID == GetCurrentProcessId() ? 1 : 0;
        }
        return count;
    };
    const int threadsBefore = threads();
    const char* const name = "norvale_test_tracer_dll.dll";
    const HMODULE dll = LoadLibraryA(name);
    const auto trace = reinterpret_cast<void (*)(HANDLE, int)>(reinterpret_cast<void*>(GetProcAddress(dll, "Trace")));
    const auto close = reinterpret_cast<int (*)(unsigned, unsigned long long*, unsigned long long*)>(
        reinterpret_cast<void*>(GetProcAddress(dll, "Close")));
    if (trace == nullptr || close == nullptr) {
        std::fprintf(stderr, "%s did not load\n", name);
        return 1;
    }
    // Never closed: the tracer's thread may wait on it until the process ends.
    const HANDLE callReturns = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    trace(hangs ? callReturns : nullptr, 100);
    // A tracer that is not closed is not asked, and passes.
    const int closedExpected = hangs ? 0 : 1;
    const unsigned long long deliveredExpected = hangs ? 0 : 100;
    int closed = closedExpected;
    unsigned long long delivered = deliveredExpected;
    unsigned long long dropped = 100 - deliveredExpected;
    if (closes) closed = close(hangs ? 200 : 10000, &delivered, &dropped);
    FreeLibrary(dll);
    if (returns) SetEvent(callReturns);
    // Only a tracer whose thread ended lets its DLL go, the thread itself
    // freeing it last; a thread that ran on in the freed DLL would crash the
    // process before its threads are back to those it had.
    const bool goes = (closes && !hangs) || returns;
    const auto loaded = [&] { return GetModuleHandleA(name) != nullptr; };
    const bool ended = !goes || norvale::test::WaitUntil([&] { return !loaded() && threads() == threadsBefore; },
                                                         std::chrono::seconds(10));
    if (closed != closedExpected || delivered != deliveredExpected || dropped != 100 - deliveredExpected ||
        loaded() == goes || !ended) {
        std::fprintf(stderr, "closed %d, delivered %llu, dropped %llu, %s after FreeLibrary, %d threads of %d\n",
                     closed, delivered, dropped, loaded() ? "loaded" : "gone", threads(), threadsBefore);
        return 1;
    }
    return 0;
}

HWND CommandWindow(const std::string& className) {
    if (className != "TTraceForm") return FindWindowA(className.c_str(), nullptr);
    const HWND frame = FindWindowA("TMainForm", nullptr);
    const HWND client = frame != nullptr ? FindWindowExW(frame, nullptr, L"MDIClient", nullptr) : nullptr;
    return client != nullptr ? FindWindowExW(client, nullptr, L"TTraceForm", L"Trace") : nullptr;
}

// A document of the frame fills it, as its maximize button makes it.
int Maximize(const std::string& className) {
    const HWND frame = FindWindowA("TMainForm", nullptr);
    const HWND client = frame != nullptr ? FindWindowExW(frame, nullptr, L"MDIClient", nullptr) : nullptr;
    const HWND document = client != nullptr ? FindWindowExA(client, nullptr, className.c_str(), nullptr) : nullptr;
    if (document == nullptr) return 1;
    SendMessageW(client, WM_MDIMAXIMIZE, reinterpret_cast<WPARAM>(document), 0);
    // A list repaints only parts of itself after a resize.
    RedrawWindow(frame, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    return 0;
}

int TypeInto(int box, const std::string& text) {
    HWND edit = nullptr;
    for (int i = 0; i <= box; ++i) edit = FindWindowExW(CommandWindow("TTraceForm"), edit, L"EDIT", nullptr);
    const std::wstring wide(text.begin(), text.end());
    return edit != nullptr && SendMessageW(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(wide.c_str())) ? 0 : 1;
}

int WaitServing(int seconds) {
    const auto serving = [] { return bool(norvale::UniqueHandle(OpenEventA(SYNCHRONIZE, FALSE, kServingEventName))); };
    if (norvale::test::WaitUntil(serving, std::chrono::seconds(seconds))) return 0;
    std::fprintf(stderr, "no Norvale process offered its class within %d s\n", seconds);
    return 1;
}

int PressCtrlC(const std::string& outputPath, const std::string& goEvent, const std::string& commandLine,
               int goSeconds) {
    const auto fail = [](const char* what) {
        std::fprintf(stderr, "%s (error %lu)\n", what, GetLastError());
        return 1;
    };
    // A console of its own, so that group 0 is the started program and this
    // one alone, and the test's own console keeps out of it.
    FreeConsole();
    if (!AllocConsole()) return fail("no console was allocated");
    const norvale::UniqueHandle go(CreateEventA(nullptr, TRUE, FALSE, goEvent.c_str()));
    SECURITY_ATTRIBUTES inherited{sizeof inherited, nullptr, TRUE};
    const norvale::UniqueHandle output(CreateFileA(outputPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherited,
                                                   CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!go || !output) return fail("the go event or the output file cannot be made");
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = startup.hStdError = output.get();
    PROCESS_INFORMATION started{};
    std::string line = commandLine;
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &started)) {
        return fail("the command did not start");
    }
    const norvale::UniqueHandle process(started.hProcess), thread(started.hThread);
    const auto failEnding = [&](const char* what) {
        const int failed = fail(what);
        TerminateProcess(process.get(), 1);
        return failed;
    };
    // Only now: a program started while its parent ignores Ctrl+C inherits
    // that, and under Wine 8 it is then out of reach of Ctrl+C sent to
    // group 0 even once it takes Ctrl+C again.
    if (!SetConsoleCtrlHandler(nullptr, TRUE)) return failEnding("Ctrl+C cannot be ignored");
    if (WaitForSingleObject(go.get(), static_cast<DWORD>(goSeconds) * 1000) != WAIT_OBJECT_0) {
        return failEnding(("the go event was not set within " + std::to_string(goSeconds) + " s").c_str());
    }
    if (!GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0)) return failEnding("Ctrl+C was not sent");
    if (WaitForSingleObject(process.get(), 30000) != WAIT_OBJECT_0) {
        return failEnding("the command did not end within 30 s of Ctrl+C");
    }
    DWORD code = 1;
    GetExitCodeProcess(process.get(), &code);
    return static_cast<int>(code);
}

}  // namespace

int main(int argc, char** argv) {
    try {
        if (argc == 7 && std::string(argv[1]) == "dispatch") {
            return Dispatch(argv[2], argv[3], argv[4], std::atoi(argv[5]), argv[6]);
        }
        if (argc == 5 && std::string(argv[1]) == "clients") {
            return Clients(argv[2], std::atoi(argv[3]), std::atoi(argv[4]));
        }
        if ((argc == 5 || argc == 6) && std::string(argv[1]) == "tracer") {
            return TraceFromThreads(argv[2], std::atoi(argv[3]), std::atoi(argv[4]), argc == 6 ? argv[5] : "");
        }
        if (argc == 3 && std::string(argv[1]) == "tracer-dll") return TracerInADll(argv[2]);
        if (argc == 4 && std::string(argv[1]) == "command") {
            const HWND window = CommandWindow(argv[2]);
            return window != nullptr && PostMessageA(window, WM_COMMAND, std::atoi(argv[3]), 0) ? 0 : 1;
        }
        if (argc == 4 && std::string(argv[1]) == "type") return TypeInto(std::atoi(argv[2]), argv[3]);
        if (argc == 3 && std::string(argv[1]) == "maximize") return Maximize(argv[2]);
        if (argc == 3 && std::string(argv[1]) == "wait-serving") return WaitServing(std::atoi(argv[2]));
        if ((argc == 5 || argc == 6) && std::string(argv[1]) == "ctrl-c") {
            return PressCtrlC(argv[2], argv[3], argv[4], argc == 6 ? std::atoi(argv[5]) : 60);
        }
        std::fprintf(stderr, "usage: norvale_test_helper dispatch <lock> <subkey> <tag> <blocks> <event>\n"
                             "       norvale_test_helper clients <tag> <threads> <messages>\n"
                             "       norvale_test_helper tracer <tag> <threads> <messages> [<stop event>]\n"
                             "       norvale_test_helper tracer-dll <way>\n"
                             "       norvale_test_helper command <window class> <command id>\n"
                             "       norvale_test_helper type <box> <text>\n"
                             "       norvale_test_helper wait-serving <seconds>\n"
                             "       norvale_test_helper ctrl-c <output file> <go event> <command line>\n");
        return 2;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
}
