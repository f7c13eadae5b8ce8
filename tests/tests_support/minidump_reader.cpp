#include "tests_support/minidump_reader.h"

#include <windows.h>
#include <dbghelp.h>

#include <stdexcept>

#include "common/utf8_text.h"
#include "common/win32_resources.h"

namespace norvale::test {

namespace {

// "MDMP" read as a little-endian number; the header's own macro is a
// multi-character constant.
constexpr ULONG kMinidumpSignature = 0x504D444D;

template <typename Stream>
const Stream* StreamOf(void* base, ULONG type) {
    MINIDUMP_DIRECTORY* directory = nullptr;
    void* stream = nullptr;
    ULONG size = 0;
    if (!MiniDumpReadDumpStream(base, type, &directory, &stream, &size) || size < sizeof(Stream)) return nullptr;
    return static_cast<const Stream*>(stream);
}

}  // namespace

ReadMinidump ReadMinidumpFile(const std::string& path) {
    const UniqueHandle file(
        CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) throw std::runtime_error("cannot open " + path);
    const UniqueHandle mapping(CreateFileMappingA(file.get(), nullptr, PAGE_READONLY, 0, 0, nullptr));
    if (!mapping) throw std::runtime_error("cannot map " + path);
    const UniqueMappedView view(MapViewOfFile(mapping.get(), FILE_MAP_READ, 0, 0, 0));
    if (!view) throw std::runtime_error("cannot map a view of " + path);
    const auto* header = static_cast<const MINIDUMP_HEADER*>(view.get());
    if (header->Signature != kMinidumpSignature) throw std::runtime_error(path + " is no minidump");

    ReadMinidump dump;
    auto* base = static_cast<char*>(view.get());
    if (const auto* threads = StreamOf<MINIDUMP_THREAD_LIST>(base, ThreadListStream)) {
        for (ULONG i = 0; i < threads->NumberOfThreads; ++i) dump.threadIds.push_back(threads->Threads[i].ThreadId);
    }
    if (const auto* modules = StreamOf<MINIDUMP_MODULE_LIST>(base, ModuleListStream)) {
        for (ULONG i = 0; i < modules->NumberOfModules; ++i) {
            const auto* name = reinterpret_cast<const MINIDUMP_STRING*>(base + modules->Modules[i].ModuleNameRva);
            dump.modulePaths.push_back(WideToUtf8(std::wstring_view(name->Buffer, name->Length / sizeof(WCHAR))));
        }
    }
    if (const auto* exception = StreamOf<MINIDUMP_EXCEPTION_STREAM>(base, ExceptionStream)) {
        dump.hasException = true;
        dump.exceptionThreadId = exception->ThreadId;
        dump.exceptionCode = exception->ExceptionRecord.ExceptionCode;
        dump.exceptionAddress = exception->ExceptionRecord.ExceptionAddress;
    }
    return dump;
}

}  // namespace norvale::test
