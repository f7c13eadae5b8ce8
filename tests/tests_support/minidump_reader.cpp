#include "tests_support/minidump_reader.h"

#include <windows.h>
#include <dbghelp.h>

#include "common/utf8_text.h"
#include "common/win32_resources.h"

namespace norvale::test {

namespace {

template <typename Stream>
const Stream* StreamOf(void* base, ULONG type) {
    MINIDUMP_DIRECTORY* directory = nullptr;
    void* stream = nullptr;
    ULONG size = 0;
    if (!MiniDumpReadDumpStream(base, type, &directory, &stream, &size) || size < sizeof(Stream)) return nullptr;
    return static_cast<const Stream*>(stream);
}

bool EndsWithIgnoringCase(const std::string& text, const std::string& end) {
    return text.size() >= end.size() && lstrcmpiA(text.substr(text.size() - end.size()).c_str(), end.c_str()) == 0;
}

}  // namespace

testing::AssertionResult IsDumpOfCrash(const std::string& path, const std::string& program, uint32_t code,
                                       uint64_t address) {
    const UniqueHandle file(
        CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    const UniqueHandle mapping(file ? CreateFileMappingA(file.get(), nullptr, PAGE_READONLY, 0, 0, nullptr) : nullptr);
    const UniqueMappedView view(mapping ? MapViewOfFile(mapping.get(), FILE_MAP_READ, 0, 0, 0) : nullptr);
    // "MDMP" as a little-endian number: the header's own macro is a multi-character constant.
    if (!view || static_cast<const MINIDUMP_HEADER*>(view.get())->Signature != 0x504D444D)
        return testing::AssertionFailure() << path << " cannot be mapped or is no minidump";
    auto* base = static_cast<char*>(view.get());
    const auto* threads = StreamOf<MINIDUMP_THREAD_LIST>(base, ThreadListStream);
    const auto* modules = StreamOf<MINIDUMP_MODULE_LIST>(base, ModuleListStream);
    const auto* exception = StreamOf<MINIDUMP_EXCEPTION_STREAM>(base, ExceptionStream);
    if (!threads || !modules || !exception) return testing::AssertionFailure() << "a stream is missing in " << path;
    bool found = false;
    for (ULONG i = 0; i < modules->NumberOfModules; ++i) {
        const auto* name = reinterpret_cast<const MINIDUMP_STRING*>(base + modules->Modules[i].ModuleNameRva);
        found |= EndsWithIgnoringCase(WideToUtf8({name->Buffer, name->Length / sizeof(WCHAR)}), program);
    }
    if (!found) return testing::AssertionFailure() << program << " is not among the modules of " << path;
    bool onItsThread = false;
    for (ULONG i = 0; i < threads->NumberOfThreads; ++i)
        onItsThread |= threads->Threads[i].ThreadId == exception->ThreadId;
    const MINIDUMP_EXCEPTION& record = exception->ExceptionRecord;
    if (!onItsThread || record.ExceptionCode != code || (address != 0 && record.ExceptionAddress != address)) {
        return testing::AssertionFailure()
               << "exception " << std::hex << record.ExceptionCode << " at " << record.ExceptionAddress << " on thread "
               << std::dec << exception->ThreadId << (onItsThread ? "" : ", no thread of the list,") << " in " << path;
    }
    return testing::AssertionSuccess();
}

}  // namespace norvale::test
