#include "debugger/debug_event_win32.h"

#include <algorithm>
#include <memory>

namespace norvale {

namespace {

uint64_t Widened(const void* pointer) { return reinterpret_cast<uintptr_t>(pointer); }
uint64_t Widened(HANDLE handle) { return reinterpret_cast<uintptr_t>(handle); }

}  // namespace

DebugEventRecord RecordOf(const DEBUG_EVENT& event) {
    DebugEventRecord record;
    record.code = event.dwDebugEventCode;
    switch (event.dwDebugEventCode) {
        case EXCEPTION_DEBUG_EVENT: {
            const EXCEPTION_RECORD& exception = event.u.Exception.ExceptionRecord;
            record.exceptionCode = exception.ExceptionCode;
            record.exceptionFlags = exception.ExceptionFlags;
            record.exceptionAddress = Widened(exception.ExceptionAddress);
            record.numberParameters = exception.NumberParameters;
            const size_t count = std::min<size_t>(exception.NumberParameters, EXCEPTION_MAXIMUM_PARAMETERS);
            for (size_t i = 0; i < count; ++i) record.exceptionInformation[i] = exception.ExceptionInformation[i];
            record.firstChance = event.u.Exception.dwFirstChance;
            break;
        }
        case CREATE_THREAD_DEBUG_EVENT:
            record.thread = Widened(event.u.CreateThread.hThread);
            record.threadLocalBase = Widened(event.u.CreateThread.lpThreadLocalBase);
            record.startAddress = Widened(reinterpret_cast<const void*>(event.u.CreateThread.lpStartAddress));
            break;
        case CREATE_PROCESS_DEBUG_EVENT: {
            const CREATE_PROCESS_DEBUG_INFO& info = event.u.CreateProcessInfo;
            record.process = Widened(info.hProcess);
            record.thread = Widened(info.hThread);
            record.baseOfImage = Widened(info.lpBaseOfImage);
            record.debugInfoFileOffset = info.dwDebugInfoFileOffset;
            record.debugInfoSize = info.nDebugInfoSize;
            record.threadLocalBase = Widened(info.lpThreadLocalBase);
            record.startAddress = Widened(reinterpret_cast<const void*>(info.lpStartAddress));
            record.imageName = Widened(info.lpImageName);
            record.unicode = info.fUnicode;
            break;
        }
        case EXIT_THREAD_DEBUG_EVENT: record.exitCode = event.u.ExitThread.dwExitCode; break;
        case EXIT_PROCESS_DEBUG_EVENT: record.exitCode = event.u.ExitProcess.dwExitCode; break;
        case LOAD_DLL_DEBUG_EVENT: {
            const LOAD_DLL_DEBUG_INFO& info = event.u.LoadDll;
            record.baseOfDll = Widened(info.lpBaseOfDll);
            record.debugInfoFileOffset = info.dwDebugInfoFileOffset;
            record.debugInfoSize = info.nDebugInfoSize;
            record.imageName = Widened(info.lpImageName);
            record.unicode = info.fUnicode;
            break;
        }
        case UNLOAD_DLL_DEBUG_EVENT: record.baseOfDll = Widened(event.u.UnloadDll.lpBaseOfDll); break;
        case OUTPUT_DEBUG_STRING_EVENT:
            record.debugStringData = Widened(event.u.DebugString.lpDebugStringData);
            record.debugStringLength = event.u.DebugString.nDebugStringLength;
            record.unicode = event.u.DebugString.fUnicode;
            break;
        case RIP_EVENT:
            record.ripError = event.u.RipInfo.dwError;
            record.ripType = event.u.RipInfo.dwType;
            break;
        default: break;
    }
    return record;
}

int PointerSizeOf(HANDLE process) {
    BOOL wow64 = FALSE;
    if (IsWow64Process(process, &wow64) && wow64) return 4;
    return static_cast<int>(sizeof(void*));
}

bool TProcessMemory::Read(uint64_t address, void* into, size_t size) {
    SIZE_T read = 0;
    return ReadProcessMemory(process_, reinterpret_cast<const void*>(static_cast<uintptr_t>(address)), into, size,
                             &read) &&
           read == size;
}

TDebuggeeProcess DebuggeeProcessOf(HANDLE process) {
    return {std::make_unique<TProcessMemory>(process), PointerSizeOf(process)};
}

}  // namespace norvale
