#include "debugger/exception_stack_win32.h"

#include <dbghelp.h>

#include <mutex>
#include <vector>

#include "common/text.h"
#include "common/utf8_text.h"
#include "common/win32_resources.h"
#include "debugger/exception_stack.h"

namespace norvale {

namespace {

// dbghelp is not thread safe, and each run has its own thread.
std::mutex& DbghelpLock() {
    static std::mutex lock;
    return lock;
}

std::wstring PathOfFile(HANDLE file) {
    wchar_t path[MAX_PATH + 8] = {};
    const DWORD length = GetFinalPathNameByHandleW(file, path, MAX_PATH, FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (length == 0 || length >= MAX_PATH) return {};
    std::wstring text(path, length);
    if (text.starts_with(L"\\\\?\\")) text.erase(0, 4);
    return text;
}

std::string NtSymbolPath() {
    wchar_t value[4096] = {};
    const DWORD length = GetEnvironmentVariableW(L"_NT_SYMBOL_PATH", value, 4096);
    return length == 0 || length >= 4096 ? std::string() : WideToUtf8(std::wstring_view(value, length));
}

int64_t Microseconds() {
    static const int64_t frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f.QuadPart;
    }();
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return static_cast<int64_t>(static_cast<double>(now.QuadPart) * 1e6 / static_cast<double>(frequency));
}

class TThreadWalk;
// The walk in progress on this thread, for the walker's callbacks, which
// carry no context of their own.
thread_local TThreadWalk* currentWalk = nullptr;

class TThreadWalk final : public IStackSource {
public:
    TThreadWalk(HANDLE process, HANDLE thread, int pointerSize)
        : process_(process), thread_(thread), pointerSize_(pointerSize) {
        currentWalk = this;
    }
    ~TThreadWalk() override { currentWalk = nullptr; }

    // The held thread's instruction and stack pointers; false when the
    // platform gives no context.
    bool Load(uint64_t& pc, uint64_t& sp) {
        if (pointerSize_ == 4) {
            wow64_.ContextFlags = WOW64_CONTEXT_FULL;
            if (!Wow64GetThreadContext(thread_, &wow64_)) return false;
            pc = wow64_.Eip;
            sp = wow64_.Esp;
            return true;
        }
        context_.ContextFlags = CONTEXT_FULL;
        if (!GetThreadContext(thread_, &context_)) return false;
        pc = context_.Rip;
        sp = context_.Rsp;
        return true;
    }

    bool InModule(uint64_t address) override { return SymGetModuleBase64(process_, address) != 0; }

    bool ReadPointer(uint64_t address, uint64_t& value) override {
        value = 0;
        SIZE_T read = 0;
        return ReadProcessMemory(process_, reinterpret_cast<const void*>(static_cast<uintptr_t>(address)), &value,
                                 static_cast<SIZE_T>(pointerSize_), &read) &&
               read == static_cast<SIZE_T>(pointerSize_);
    }

    void StartAt(uint64_t pc, uint64_t sp) override {
        frame_ = {};
        frame_.AddrPC.Offset = pc;
        frame_.AddrStack.Offset = sp;
        if (pointerSize_ == 4) {
            wow64_.Eip = static_cast<DWORD>(pc);
            wow64_.Esp = static_cast<DWORD>(sp);
            frame_.AddrFrame.Offset = wow64_.Ebp;
        } else {
            context_.Rip = pc;
            context_.Rsp = sp;
            frame_.AddrFrame.Offset = context_.Rbp;
        }
        frame_.AddrPC.Mode = frame_.AddrStack.Mode = frame_.AddrFrame.Mode = AddrModeFlat;
    }

    bool NextFrame(uint64_t& pc) override {
        const DWORD machine = pointerSize_ == 4 ? IMAGE_FILE_MACHINE_I386 : IMAGE_FILE_MACHINE_AMD64;
        void* context = pointerSize_ == 4 ? static_cast<void*>(&wow64_) : static_cast<void*>(&context_);
        if (!StackWalk64(machine, process_, thread_, &frame_, context, nullptr, TableAccess, ModuleBase, nullptr))
            return false;
        pc = frame_.AddrPC.Offset;
        return true;
    }

    int64_t WalkClock() override { return Microseconds() - firstLoads_; }

private:
    // A module whose symbols are still deferred is loaded by the call: that
    // time is not the walk's.
    template <typename Call>
    static auto OutsideFirstLoad(HANDLE process, DWORD64 address, Call call) {
        IMAGEHLP_MODULE64 module{};
        module.SizeOfStruct = sizeof module;
        const bool deferred = SymGetModuleInfo64(process, address, &module) && module.SymType == SymDeferred;
        const int64_t start = Microseconds();
        auto result = call();
        if (deferred && currentWalk != nullptr) currentWalk->firstLoads_ += Microseconds() - start;
        return result;
    }
    static PVOID CALLBACK TableAccess(HANDLE process, DWORD64 address) {
        return OutsideFirstLoad(process, address, [&] { return SymFunctionTableAccess64(process, address); });
    }
    static DWORD64 CALLBACK ModuleBase(HANDLE process, DWORD64 address) {
        return OutsideFirstLoad(process, address, [&] { return SymGetModuleBase64(process, address); });
    }

    HANDLE process_;
    HANDLE thread_;
    const int pointerSize_;
    CONTEXT context_{};
    WOW64_CONTEXT wow64_{};
    STACKFRAME64 frame_{};
    int64_t firstLoads_ = 0;
};

// A caller's frame holds the address after its call, which may already be
// the next line or function: its symbols are those of the byte before.
StackFrame SymbolsOf(HANDLE process, uint64_t address, bool returnAddress) {
    StackFrame frame;
    frame.address = address;
    const DWORD64 looked = address - (returnAddress ? 1 : 0);
    IMAGEHLP_MODULE64 module{};
    module.SizeOfStruct = sizeof module;
    if (SymGetModuleInfo64(process, looked, &module)) {
        // The code page's names, in UTF-8 as every row of the window.
        frame.module = AnsiToUtf8(module.ModuleName);
        frame.moduleBase = module.BaseOfImage;
    }
    std::vector<char> buffer(sizeof(SYMBOL_INFO) + MAX_SYM_NAME);
    auto* symbol = reinterpret_cast<SYMBOL_INFO*>(buffer.data());
    symbol->SizeOfStruct = sizeof(SYMBOL_INFO);
    symbol->MaxNameLen = MAX_SYM_NAME;
    DWORD64 displacement = 0;
    if (SymFromAddr(process, looked, &displacement, symbol)) {
        frame.function = AnsiToUtf8(std::string_view(symbol->Name, strnlen(symbol->Name, symbol->MaxNameLen)));
        frame.displacement = displacement + (returnAddress ? 1 : 0);
    }
    IMAGEHLP_LINE64 line{};
    line.SizeOfStruct = sizeof line;
    DWORD lineDisplacement = 0;
    if (SymGetLineFromAddr64(process, looked, &lineDisplacement, &line) && line.FileName != nullptr) {
        frame.file = AnsiToUtf8(line.FileName);
        frame.line = line.LineNumber;
    }
    return frame;
}

}  // namespace

TDebuggeeSymbols::~TDebuggeeSymbols() {
    const std::lock_guard guard(DbghelpLock());
    for (const auto& [id, process] : processes_) SymCleanup(process.handle);
}

void TDebuggeeSymbols::ProcessCreated(uint32_t processId, HANDLE process, HANDLE file, uint64_t base,
                                      std::wstring imagePath) {
    if (imagePath.empty()) imagePath = PathOfFile(file);
    const std::string folder = WideToUtf8(PathPartOfPath(imagePath));
    const std::wstring searchPath =
        Utf8ToWide(SymbolSearchPath(folder.empty() ? std::vector<std::string>{} : std::vector{folder}, NtSymbolPath()));
    {
        const std::lock_guard guard(DbghelpLock());
        SymSetOptions(SymGetOptions() | SYMOPT_DEFERRED_LOADS | SYMOPT_LOAD_LINES | SYMOPT_UNDNAME |
                      SYMOPT_FAIL_CRITICAL_ERRORS | SYMOPT_NO_PROMPTS | SYMOPT_IGNORE_NT_SYMPATH |
                      SYMOPT_INCLUDE_32BIT_MODULES | SYMOPT_DISABLE_SYMSRV_AUTODETECT);
        if (!SymInitializeW(process, searchPath.c_str(), FALSE)) return;
        processes_[processId] = {process, imagePath};
    }
    ModuleLoaded(processId, file, base, std::move(imagePath));
}

void TDebuggeeSymbols::ModuleLoaded(uint32_t processId, HANDLE file, uint64_t base, std::wstring imagePath) {
    const auto found = processes_.find(processId);
    if (found == processes_.end()) return;
    if (imagePath.empty()) imagePath = PathOfFile(file);
    // Without a name the module cannot be told apart from the others.
    if (imagePath.empty()) return;
    const std::lock_guard guard(DbghelpLock());
    SymLoadModuleExW(found->second.handle, file, imagePath.c_str(), nullptr, base, 0, nullptr, 0);
}

void TDebuggeeSymbols::ModuleUnloaded(uint32_t processId, uint64_t base) {
    const auto found = processes_.find(processId);
    if (found == processes_.end()) return;
    const std::lock_guard guard(DbghelpLock());
    SymUnloadModule64(found->second.handle, base);
}

void TDebuggeeSymbols::ProcessExited(uint32_t processId) {
    const auto found = processes_.find(processId);
    if (found == processes_.end()) return;
    {
        const std::lock_guard guard(DbghelpLock());
        SymCleanup(found->second.handle);
    }
    processes_.erase(found);
}

std::wstring TDebuggeeSymbols::ImagePath(uint32_t processId) const {
    const auto found = processes_.find(processId);
    return found == processes_.end() ? std::wstring() : found->second.imagePath;
}

ExceptionStack TDebuggeeSymbols::Walk(uint32_t processId, uint32_t threadId, int pointerSize) {
    ExceptionStack stack;
    const auto found = processes_.find(processId);
    if (found == processes_.end()) return stack;
    const HANDLE process = found->second.handle;
    const UniqueHandle thread(OpenThread(THREAD_GET_CONTEXT | THREAD_QUERY_INFORMATION, FALSE, threadId));
    const std::lock_guard guard(DbghelpLock());
    TThreadWalk walk(process, thread.get(), pointerSize);
    uint64_t pc = 0;
    uint64_t sp = 0;
    if (!thread || !walk.Load(pc, sp)) {
        stack.unavailable = true;
        return stack;
    }
    const WalkedStack walked = WalkStack(walk, pc, sp, pointerSize);
    stack.cutShort = walked.cutShort;
    for (size_t i = 0; i < walked.addresses.size(); ++i)
        stack.frames.push_back(SymbolsOf(process, walked.addresses[i], i > 0));
    return stack;
}

}  // namespace norvale
