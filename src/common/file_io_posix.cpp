#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "common/file_io.h"

namespace norvale {

// POSIX has no share modes; the native build serves tests and benchmarks only.

void FileHandleTraits::Close(Type h) { ::close(h); }

namespace {

uint32_t OpenFile(const std::string& name, int flags, UniqueFile& file) {
    file.reset(::open(name.c_str(), flags | O_CLOEXEC, 0644));
    return file ? 0 : static_cast<uint32_t>(errno);
}

}  // namespace

uint32_t FileOpenExisting(const std::string& name, UniqueFile& file) { return OpenFile(name, O_RDWR, file); }

uint32_t FileCreate(const std::string& name, UniqueFile& file) {
    return OpenFile(name, O_WRONLY | O_CREAT | O_TRUNC, file);
}

uint32_t FileOpenForReading(const std::string& name, UniqueFile& file) { return OpenFile(name, O_RDONLY, file); }

bool IsFileNotFound(uint32_t error) { return error == ENOENT; }

uint32_t FileSize(FileHandle file, uint64_t& size) {
    struct stat info {};
    if (::fstat(file, &info) != 0) return static_cast<uint32_t>(errno);
    size = static_cast<uint64_t>(info.st_size);
    return 0;
}

uint32_t FileReadAt(FileHandle file, uint64_t offset, void* buffer, uint32_t length, uint32_t& read) {
    const ssize_t count = ::pread(file, buffer, length, static_cast<off_t>(offset));
    if (count < 0) return static_cast<uint32_t>(errno);
    read = static_cast<uint32_t>(count);
    return 0;
}

uint32_t FileTruncate(FileHandle file, uint64_t size) {
    if (::ftruncate(file, static_cast<off_t>(size)) != 0) return static_cast<uint32_t>(errno);
    return FileSeekToEnd(file);
}

uint32_t FileSeekToEnd(FileHandle file) {
    return ::lseek(file, 0, SEEK_END) < 0 ? static_cast<uint32_t>(errno) : 0;
}

uint32_t FileWrite(FileHandle file, const void* data, uint32_t length) {
    const char* bytes = static_cast<const char*>(data);
    while (length > 0) {
        const ssize_t written = ::write(file, bytes, length);
        if (written < 0) {
            if (errno == EINTR) continue;
            return static_cast<uint32_t>(errno);
        }
        bytes += written;
        length -= static_cast<uint32_t>(written);
    }
    return 0;
}

uint32_t FileClose(UniqueFile& file) {
    if (!file) return 0;
    return ::close(file.release()) == 0 ? 0 : static_cast<uint32_t>(errno);
}

uint32_t FileLastWriteTime(FileHandle file, uint64_t& utcTicks) {
    struct stat info {};
    if (::fstat(file, &info) != 0) return static_cast<uint32_t>(errno);
    // Seconds from 1601-01-01 to 1970-01-01.
    constexpr uint64_t kUnixEpoch = 11644473600;
    utcTicks = (static_cast<uint64_t>(info.st_mtim.tv_sec) + kUnixEpoch) * 10000000 +
               static_cast<uint64_t>(info.st_mtim.tv_nsec) / 100;
    return 0;
}

bool FileExists(const std::string& name) {
    struct stat info {};
    return ::stat(name.c_str(), &info) == 0;
}

// Checked first, as `rename` replaces; nothing else renames in the native build.
uint32_t FileRename(const std::string& from, const std::string& to) {
    if (FileExists(to)) return EEXIST;
    return ::rename(from.c_str(), to.c_str()) == 0 ? 0 : static_cast<uint32_t>(errno);
}

uint32_t FileDelete(const std::string& name) { return ::unlink(name.c_str()) == 0 ? 0 : static_cast<uint32_t>(errno); }

}  // namespace norvale
