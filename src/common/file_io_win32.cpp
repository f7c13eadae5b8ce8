#include "common/file_io.h"

namespace norvale {

void FileHandleTraits::Close(Type h) { CloseHandle(h); }

namespace {

uint32_t OpenFile(const std::string& name, DWORD access, DWORD disposition, UniqueFile& file) {
    file.reset(CreateFileA(name.c_str(), access, FILE_SHARE_READ, nullptr, disposition, FILE_ATTRIBUTE_NORMAL,
                           nullptr));
    return file ? 0 : GetLastError();
}

}  // namespace

uint32_t FileOpenExisting(const std::string& name, UniqueFile& file) {
    return OpenFile(name, GENERIC_READ | GENERIC_WRITE, OPEN_EXISTING, file);
}

uint32_t FileCreate(const std::string& name, UniqueFile& file) {
    return OpenFile(name, GENERIC_WRITE, CREATE_ALWAYS, file);
}

uint32_t FileOpenForReading(const std::string& name, UniqueFile& file) {
    file.reset(CreateFileA(name.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    return file ? 0 : GetLastError();
}

bool IsFileNotFound(uint32_t error) { return error == ERROR_FILE_NOT_FOUND; }

uint32_t FileSize(FileHandle file, uint64_t& size) {
    LARGE_INTEGER value;
    if (!GetFileSizeEx(file, &value)) return GetLastError();
    size = static_cast<uint64_t>(value.QuadPart);
    return 0;
}

uint32_t FileReadAt(FileHandle file, uint64_t offset, void* buffer, uint32_t length, uint32_t& read) {
    LARGE_INTEGER position;
    position.QuadPart = static_cast<LONGLONG>(offset);
    if (!SetFilePointerEx(file, position, nullptr, FILE_BEGIN)) return GetLastError();
    DWORD count = 0;
    if (!ReadFile(file, buffer, length, &count, nullptr)) return GetLastError();
    read = count;
    return 0;
}

uint32_t FileTruncate(FileHandle file, uint64_t size) {
    LARGE_INTEGER position;
    position.QuadPart = static_cast<LONGLONG>(size);
    if (!SetFilePointerEx(file, position, nullptr, FILE_BEGIN) || !SetEndOfFile(file)) return GetLastError();
    return 0;
}

uint32_t FileSeekToEnd(FileHandle file) {
    LARGE_INTEGER zero{};
    return SetFilePointerEx(file, zero, nullptr, FILE_END) ? 0 : GetLastError();
}

uint32_t FileWrite(FileHandle file, const void* data, uint32_t length) {
    const char* bytes = static_cast<const char*>(data);
    while (length > 0) {
        DWORD written = 0;
        if (!WriteFile(file, bytes, length, &written, nullptr)) return GetLastError();
        if (written == 0) return ERROR_WRITE_FAULT;
        bytes += written;
        length -= written;
    }
    return 0;
}

uint32_t FileClose(UniqueFile& file) {
    if (!file) return 0;
    return CloseHandle(file.release()) ? 0 : GetLastError();
}

uint32_t FileLastWriteTime(FileHandle file, uint64_t& utcTicks) {
    FILETIME written{};
    if (!GetFileTime(file, nullptr, nullptr, &written)) return GetLastError();
    utcTicks = static_cast<uint64_t>(written.dwHighDateTime) << 32 | written.dwLowDateTime;
    return 0;
}

bool FileExists(const std::string& name) { return GetFileAttributesA(name.c_str()) != INVALID_FILE_ATTRIBUTES; }

// A reader that opened either file without delete sharing makes this fail
// with a sharing violation.
uint32_t FileRename(const std::string& from, const std::string& to) {
    return MoveFileExA(from.c_str(), to.c_str(), 0) ? 0 : GetLastError();
}

uint32_t FileDelete(const std::string& name) { return DeleteFileA(name.c_str()) ? 0 : GetLastError(); }

}  // namespace norvale
