// The program the debugger tests run and attach to. The debugger starts it as
// "<path> /debug", so it cannot take its instructions from its arguments: it
// reads them from a file beside itself, named like the program with the
// extension ".steps" (C:\x\dbg.exe reads C:\x\dbg.steps), one step a line:
//
//   string <text>     OutputDebugStringA(text)
//   wstring <text>    OutputDebugStringW of the text (read as UTF-8)
//   trace <text>      sends the text (read as UTF-8) as a message of its
//                     session "Invoices", "Batch" on the server and waits
//                     until the server has it
//   endtrace          closes that session, as a program's tracer ends
//   strings <n>       n calls of OutputDebugStringA("line <i>"), i from 1,
//                     as fast as it can
//   dll               loads and frees norvale_test_debuggee_dll.dll from the
//                     program's folder
//   thread <code>     runs a thread that exits with that code, waits for it
//   throw             throws and catches a std::runtime_error
//   delphi            raises 0x0EEDFADE with the seven parameters and fake
//                     class layout of a Delphi exception; a vectored handler
//                     takes it and execution continues
//   fault             writes through a null pointer, with no handler
//   awaitdebugger     waits until a debugger is attached
//   awaitfile <name>  waits until a file of that name is in its folder
//   pause <ms>        sleeps
//   commandline       writes "commandline <its command line>" as its progress
//   child <file>      runs that program from its folder, waits for its end
//   exit <code>       ends the program with that exit code
//
// Codes are decimal or 0x hex. Blank lines are skipped. After the last step
// the program ends with exit code 0.
//
// Each step that has done its work appends a line (CR LF) to the progress
// file, named like the program with the extension ".progress": the step's line
// as read, except that `throw` writes "caught" only when its own catch block
// ran and `delphi` writes "delphi handled" only when its own handler ran
// ("delphi not handled" otherwise). `fault` and `exit` end the program and
// write nothing. Every line reaches the file before the next step begins, so
// a test that halts the program at an event sees exactly the steps done.
//
// Exit codes of its own: 2 no steps file, 3 the DLL does not load, 4 no
// debugger or file came, 5 a step it cannot read, 6 a step that failed; each comes
// with a message on stderr.

#include <windows.h>

#include <charconv>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <process.h>
#include <stdexcept>
#include <string>
#include <string_view>

#include <norvale/tracer.h>

#include "common/win32_resources.h"

namespace {

using norvale::UniqueHandle;

constexpr DWORD kDelphiException = 0x0EEDFADE;
constexpr DWORD kThreadWaitMs = 20000;
constexpr ULONGLONG kAwaitMs = 20000;
constexpr DWORD kAwaitPollMs = 10;

[[noreturn]] void Fail(UINT exitCode, const std::string& message) {
    std::fprintf(stderr, "norvale_test_debuggee: %s\n", message.c_str());
    std::fflush(stderr);
    ExitProcess(exitCode);
}

std::filesystem::path OwnPath() {
    std::wstring buffer(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0) Fail(6, "GetModuleFileNameW failed");
        if (length < buffer.size()) {
            buffer.resize(length);
            return buffer;
        }
        buffer.resize(buffer.size() * 2);
    }
}

std::filesystem::path Beside(std::filesystem::path path, const char* extension) {
    return path.replace_extension(extension);
}

struct Step {
    std::string line;      // as read, the text of its progress line
    std::string argument;  // what follows the first blank
};

DWORD ParseCode(const Step& step) {
    std::string_view text = step.argument;
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        text.remove_prefix(2);
        base = 16;
    }
    DWORD value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    if (text.empty() || error != std::errc() || end != text.data() + text.size())
        Fail(5, "not a number in step \"" + step.line + "\"");
    return value;
}

// Appends unbuffered, so a line is in the file as soon as WriteFile returns.
class ProgressFile {
public:
    explicit ProgressFile(const std::filesystem::path& path)
        : file_(CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr)) {
        if (!file_) Fail(6, "cannot open the progress file");
    }

    void Append(const std::string& text) {
        const std::string line = text + "\r\n";
        DWORD written = 0;
        if (!WriteFile(file_.get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr) ||
            written != line.size())
            Fail(6, "cannot write the progress file");
    }

private:
    UniqueHandle file_;
};

// --- Steps: each does its work and returns its progress line ---------------

std::string DebugString(const Step& step) {
    OutputDebugStringA(step.argument.c_str());
    return step.line;
}

std::wstring WideOf(const std::string& utf8) {
    const int size = static_cast<int>(utf8.size());
    std::wstring wide(static_cast<size_t>(MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, nullptr, 0)), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, wide.data(), static_cast<int>(wide.size()));
    return wide;
}

std::string DebugStringWide(const Step& step) {
    OutputDebugStringW(WideOf(step.argument).c_str());
    return step.line;
}

// One session from the first trace to `endtrace`, as a program's tracer is.
std::optional<norvale::Tracer> tracer;

std::string Trace(const Step& step) {
    if (!tracer) tracer.emplace(L"Invoices", L"Batch");
    tracer->Message(WideOf(step.argument));
    if (!tracer->Flush() || tracer->Dropped() != 0) Fail(6, "the server did not take the trace within 10 s");
    return step.line;
}

std::string EndTrace(const Step& step) {
    if (tracer && !tracer->Close()) Fail(6, "the tracer did not end within 2 s");
    tracer.reset();
    return step.line;
}

std::string DebugStrings(const Step& step) {
    const DWORD count = ParseCode(step);
    char text[32];
    for (DWORD i = 1; i <= count; ++i) {
        std::snprintf(text, sizeof text, "line %lu", static_cast<unsigned long>(i));
        OutputDebugStringA(text);
    }
    return step.line;
}

std::string LoadAndFreeDll(const Step& step) {
    const auto path = OwnPath().replace_filename(L"norvale_test_debuggee_dll.dll");
    const HMODULE dll = LoadLibraryW(path.c_str());
    if (!dll) Fail(3, "cannot load " + path.string() + ", error " + std::to_string(GetLastError()));
    FreeLibrary(dll);
    return step.line;
}

DWORD WINAPI ExitWithCode(void* code) {
    return static_cast<DWORD>(reinterpret_cast<ULONG_PTR>(code));
}

std::string RunThread(const Step& step) {
    const ULONG_PTR code = ParseCode(step);
    const UniqueHandle thread(CreateThread(nullptr, 0, ExitWithCode, reinterpret_cast<void*>(code), 0, nullptr));
    if (!thread) Fail(6, "CreateThread failed");
    if (WaitForSingleObject(thread.get(), kThreadWaitMs) != WAIT_OBJECT_0)
        Fail(6, "the thread of step \"" + step.line + "\" did not end within 20 s");
    return step.line;
}

std::string ThrowAndCatch(const Step&) {
    // A debugger that claims the exception as its own keeps this catch from
    // running; then the runtime ends the program and no line is written.
    try {
        throw std::runtime_error("norvale test exception");
    } catch (const std::runtime_error&) {
        return "caught";
    }
}

bool delphiHandlerRan = false;

LONG CALLBACK TakeDelphiException(EXCEPTION_POINTERS* exception) {
    if (exception->ExceptionRecord->ExceptionCode != kDelphiException) return EXCEPTION_CONTINUE_SEARCH;
    delphiHandlerRan = true;
    return EXCEPTION_CONTINUE_EXECUTION;
}

struct VectoredHandlerTraits {
    using Type = void*;
    static Type Invalid() { return nullptr; }
    static bool IsValid(Type h) { return h != nullptr; }
    static void Close(Type h) { RemoveVectoredExceptionHandler(h); }
};

// What a Delphi program's exception looks like to a debugger: the object's
// first slot is its class pointer, and eight pointer-sized slots below the
// class pointer's target lies a pointer to the class name as a short string
// (a length byte, then the characters).
constexpr char kClassName[] = "ENorvaleTest";
class FakeDelphiObject {
public:
    FakeDelphiObject() {
        name_[0] = static_cast<char>(sizeof kClassName - 1);
        std::memcpy(name_ + 1, kClassName, sizeof kClassName - 1);
        slots_[0] = name_;
        object_[0] = &slots_[8];
    }
    FakeDelphiObject(const FakeDelphiObject&) = delete;
    FakeDelphiObject& operator=(const FakeDelphiObject&) = delete;

    const void* Address() const { return object_; }

private:
    char name_[sizeof kClassName] = {};  // the length byte and the characters, no terminator
    const void* slots_[9] = {};          // slots_[0] holds the name, &slots_[8] is the class pointer
    const void* object_[1] = {};
};

std::string RaiseDelphi(const Step&) {
    static const FakeDelphiObject fake;
    const norvale::UniqueResource<VectoredHandlerTraits> handler(
        AddVectoredExceptionHandler(1, TakeDelphiException));
    if (!handler) Fail(6, "AddVectoredExceptionHandler failed");
    delphiHandlerRan = false;
    const ULONG_PTR parameters[7] = {
        reinterpret_cast<ULONG_PTR>(&RaiseDelphi),    // the raising address
        reinterpret_cast<ULONG_PTR>(fake.Address()),  // the exception object
        0x22222222, 0x33333333, 0x44444444, 0x55555555, 0x66666666,
    };
    RaiseException(kDelphiException, 0, 7, parameters);
    return delphiHandlerRan ? "delphi handled" : "delphi not handled";
}

std::string Fault(const Step&) {
    // Both volatile: the compiler must neither drop the write nor, seeing the
    // null, put a trap instruction (an illegal instruction fault) in its place.
    volatile int* volatile target = nullptr;
    *target = 1;
    Fail(6, "the write through a null pointer did not fault");
}

std::string AwaitDebugger(const Step& step) {
    const ULONGLONG deadline = GetTickCount64() + kAwaitMs;
    while (!IsDebuggerPresent()) {
        if (GetTickCount64() >= deadline) Fail(4, "no debugger attached within 20 s");
        Sleep(kAwaitPollMs);
    }
    return step.line;
}

std::string AwaitFile(const Step& step) {
    const std::filesystem::path awaited = OwnPath().parent_path() / step.argument;
    const ULONGLONG deadline = GetTickCount64() + kAwaitMs;
    while (!std::filesystem::exists(awaited)) {
        if (GetTickCount64() >= deadline) Fail(4, "no file \"" + step.argument + "\" within 20 s");
        Sleep(kAwaitPollMs);
    }
    return step.line;
}

std::string CommandLine(const Step&) { return std::string("commandline ") + GetCommandLineA(); }

std::string Pause(const Step& step) {
    Sleep(ParseCode(step));
    return step.line;
}

std::string RunChild(const Step& step) {
    const std::filesystem::path path = OwnPath().replace_filename(step.argument);
    const UniqueHandle child(reinterpret_cast<HANDLE>(_wspawnl(_P_NOWAIT, path.c_str(), path.c_str(), nullptr)));
    if (!child) Fail(6, "cannot run " + path.string());
    if (WaitForSingleObject(child.get(), kThreadWaitMs) != WAIT_OBJECT_0) Fail(6, step.argument + " ran over 20 s");
    return step.line;
}

std::string Exit(const Step& step) {
    ExitProcess(ParseCode(step));
}

struct StepKind {
    std::string_view name;
    std::string (*run)(const Step&);
};

constexpr StepKind kSteps[] = {
    {"string", DebugString},   {"wstring", DebugStringWide}, {"strings", DebugStrings},
    {"trace", Trace},          {"endtrace", EndTrace},
    {"dll", LoadAndFreeDll},   {"thread", RunThread},         {"throw", ThrowAndCatch},
    {"delphi", RaiseDelphi},   {"fault", Fault},              {"awaitdebugger", AwaitDebugger},
    {"awaitfile", AwaitFile},  {"pause", Pause},             {"exit", Exit},
    {"commandline", CommandLine}, {"child", RunChild},
};

const StepKind& KindOf(const Step& step) {
    const std::string_view name = std::string_view(step.line).substr(0, step.line.find(' '));
    for (const StepKind& kind : kSteps)
        if (kind.name == name) return kind;
    Fail(5, "unknown step \"" + step.line + "\"");
}

}  // namespace

int main() {
    const std::filesystem::path self = OwnPath();
    const std::filesystem::path stepsPath = Beside(self, ".steps");
    std::ifstream steps(stepsPath, std::ios::binary);
    if (!steps) Fail(2, "no steps file " + stepsPath.string());
    ProgressFile progress(Beside(self, ".progress"));

    for (std::string line; std::getline(steps, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty()) continue;
        const size_t blank = line.find(' ');
        const Step step{line, blank == std::string::npos ? std::string() : line.substr(blank + 1)};
        progress.Append(KindOf(step).run(step));
    }
    return 0;
}
