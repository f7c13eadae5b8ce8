#include "debugger/crash_dump_win32.h"

#include <dbghelp.h>

#include <exception>
#include <vector>

#include "common/ansi_text.h"
#include "common/errors.h"
#include "common/system_error.h"
#include "common/utf8_text.h"
#include "common/win32_resources.h"

namespace norvale {

namespace {

// Threads, modules, the data sections and what the stacks point at; the
// handles where the platform gives them (Wine writes none).
constexpr MINIDUMP_TYPE kDumpType = static_cast<MINIDUMP_TYPE>(
    MiniDumpWithDataSegs | MiniDumpWithHandleData | MiniDumpWithIndirectlyReferencedMemory |
    MiniDumpWithUnloadedModules | MiniDumpWithThreadInfo);

struct FindTraits {
    using Type = HANDLE;
    static Type Invalid() { return INVALID_HANDLE_VALUE; }
    static bool IsValid(Type h) { return h != INVALID_HANDLE_VALUE; }
    static void Close(Type h) { FindClose(h); }
};
using UniqueFind = UniqueResource<FindTraits>;

[[noreturn]] void RaiseLastError(const std::string& what) {
    const DWORD error = GetLastError();
    throw ENorvaleError(what + ": " + SystemErrorText(error));
}

std::wstring ExpandedFolder(const std::string& folder) {
    const std::wstring written = AnsiToWide(folder);
    std::wstring expanded(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length =
            ExpandEnvironmentStringsW(written.c_str(), expanded.data(), static_cast<DWORD>(expanded.size()));
        if (length == 0) RaiseLastError("the folder " + folder + " cannot be expanded");
        if (length <= expanded.size()) {
            expanded.resize(length - 1);
            break;
        }
        expanded.resize(length);
    }
    while (expanded.size() > 3 && (expanded.back() == L'\\' || expanded.back() == L'/')) expanded.pop_back();
    // A relative folder would follow the program's current folder; a variable
    // that is not set stays as "%NAME%".
    const bool drive = expanded.size() >= 3 && expanded[1] == L':' && (expanded[2] == L'\\' || expanded[2] == L'/');
    const bool share = expanded.rfind(L"\\\\", 0) == 0;
    if (!drive && !share) throw ENorvaleError("the folder " + WideToUtf8(expanded) + " is not a full path");
    return expanded;
}

void MakeFolders(const std::wstring& folder) {
    for (size_t at = folder.find_first_of(L"\\/", 3); ; at = folder.find_first_of(L"\\/", at + 1)) {
        const std::wstring part = folder.substr(0, at);
        // Every level but the last may exist already, or be a share's root.
        CreateDirectoryW(part.c_str(), nullptr);
        if (at == std::wstring::npos) break;
    }
    const DWORD attributes = GetFileAttributesW(folder.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        RaiseLastError("the folder " + WideToUtf8(folder) + " cannot be made");
    }
}

std::wstring ImagePathOf(HANDLE process) {
    std::wstring path(32768, L'\0');
    DWORD length = static_cast<DWORD>(path.size());
    if (!QueryFullProcessImageNameW(process, 0, path.data(), &length)) return {};
    path.resize(length);
    return path;
}

std::vector<std::string> DumpNamesIn(const std::wstring& folder) {
    std::vector<std::string> names;
    WIN32_FIND_DATAW found{};
    const UniqueFind find(FindFirstFileW((folder + L"\\*.dmp").c_str(), &found));
    if (!find) return names;
    do {
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) names.push_back(WideToUtf8(found.cFileName));
    } while (FindNextFileW(find.get(), &found));
    return names;
}

}  // namespace

void WriteMiniDump(const DEBUG_EVENT& event, const std::wstring& path) {
    const UniqueHandle process(
        OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ | PROCESS_DUP_HANDLE, FALSE, event.dwProcessId));
    if (!process) RaiseLastError("the process cannot be opened");
    // Copies in this process, which the dump's writer reads as they are.
    EXCEPTION_RECORD record{};
    CONTEXT context{};
    EXCEPTION_POINTERS pointers{&record, &context};
    MINIDUMP_EXCEPTION_INFORMATION exception{event.dwThreadId, &pointers, FALSE};
    const bool isException = event.dwDebugEventCode == EXCEPTION_DEBUG_EVENT;
    if (isException) {
        record = event.u.Exception.ExceptionRecord;
        record.ExceptionRecord = nullptr;
        const UniqueHandle thread(OpenThread(THREAD_GET_CONTEXT | THREAD_QUERY_INFORMATION, FALSE, event.dwThreadId));
        context.ContextFlags = CONTEXT_ALL;
        if (!thread || !GetThreadContext(thread.get(), &context)) {
            RaiseLastError("the context of the faulting thread cannot be read");
        }
    }
    UniqueHandle file(CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) RaiseLastError("the file cannot be made");
    if (!MiniDumpWriteDump(process.get(), event.dwProcessId, file.get(), kDumpType, isException ? &exception : nullptr,
                           nullptr, nullptr)) {
        const DWORD error = GetLastError();
        file.reset();
        DeleteFileW(path.c_str());
        SetLastError(error);
        RaiseLastError("the dump cannot be written");
    }
}

std::string SaveDumpNote(const DEBUG_EVENT& event, const std::wstring& path) {
    try {
        WriteMiniDump(event, path);
        return DumpWrittenNote(WideToUtf8(path));
    } catch (const std::exception& failure) {
        return DumpFailedNote(WideToUtf8(path), failure.what());
    }
}

std::string WriteCrashDump(const CrashDumpSettings& settings, const DEBUG_EVENT& event) {
    std::wstring path;
    try {
        const std::wstring folder = ExpandedFolder(settings.folder);
        MakeFolders(folder);
        const UniqueHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, event.dwProcessId));
        const std::string program = DumpProgramName(process ? WideToUtf8(ImagePathOf(process.get())) : "");
        SYSTEMTIME now{};
        GetLocalTime(&now);
        const std::string name = CrashDumpFileName(
            program, event.dwProcessId, {now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond});
        path = folder + L"\\" + Utf8ToWide(name);
        WriteMiniDump(event, path);
        // A dump that cannot go now (open in a viewer, say) goes at a later crash.
        for (const std::string& old : DumpsToDelete(DumpNamesIn(folder), program, name, settings.keep)) {
            DeleteFileW((folder + L"\\" + Utf8ToWide(old)).c_str());
        }
        return DumpWrittenNote(WideToUtf8(path));
    } catch (const std::exception& failure) {
        return DumpFailedNote(WideToUtf8(path), failure.what());
    }
}

}  // namespace norvale
