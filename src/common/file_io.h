#pragma once

// The thin file layer beneath the file and console writers: Win32 handles on
// Windows, POSIX descriptors in the native build. Every call returns the
// system's error code, 0 on success.

#include <cstdint>
#include <string>

#ifdef _WIN32
#include <windows.h>
#endif

#include "common/unique_resource.h"

namespace norvale {

#ifdef _WIN32
using FileHandle = HANDLE;
#else
using FileHandle = int;
#endif

struct FileHandleTraits {
    using Type = FileHandle;
#ifdef _WIN32
    static Type Invalid() { return INVALID_HANDLE_VALUE; }
    static bool IsValid(Type h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
#else
    static Type Invalid() { return -1; }
    static bool IsValid(Type h) { return h >= 0; }
#endif
    static void Close(Type h);
};
using UniqueFile = UniqueResource<FileHandleTraits>;

// Opens an existing file for reading and writing, letting others only read.
uint32_t FileOpenExisting(const std::string& name, UniqueFile& file);
// Creates the file anew for writing (replacing one of that name), letting
// others only read.
uint32_t FileCreate(const std::string& name, UniqueFile& file);
// Opens an existing file for reading only.
uint32_t FileOpenForReading(const std::string& name, UniqueFile& file);
bool IsFileNotFound(uint32_t error);

uint32_t FileSize(FileHandle file, uint64_t& size);
uint32_t FileReadAt(FileHandle file, uint64_t offset, void* buffer, uint32_t length, uint32_t& read);
// Cuts the file at `size` and moves the write position to its new end.
uint32_t FileTruncate(FileHandle file, uint64_t size);
uint32_t FileSeekToEnd(FileHandle file);
// Writes all `length` bytes or fails.
uint32_t FileWrite(FileHandle file, const void* data, uint32_t length);
// Closes and reports the failure of the close itself.
uint32_t FileClose(UniqueFile& file);
// When the file was last written: UTC in 100 ns units since 1601-01-01.
uint32_t FileLastWriteTime(FileHandle file, uint64_t& utcTicks);

bool FileExists(const std::string& name);
// Never replaces a file of the new name: that is an error.
uint32_t FileRename(const std::string& from, const std::string& to);
uint32_t FileDelete(const std::string& name);

}  // namespace norvale
