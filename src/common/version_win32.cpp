#include <windows.h>

#include <vector>

#include "common/version.h"

namespace norvale {

FileVersion ReadFileVersion(const std::string& path) {
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeA(path.c_str(), &ignored);
    if (size == 0) return FileVersion{};
    std::vector<char> block(size);
    if (!GetFileVersionInfoA(path.c_str(), 0, size, block.data())) return FileVersion{};
    VS_FIXEDFILEINFO* info = nullptr;
    UINT infoSize = 0;
    if (!VerQueryValueA(block.data(), "\\", reinterpret_cast<void**>(&info), &infoSize) || info == nullptr ||
        infoSize < sizeof(VS_FIXEDFILEINFO)) {
        return FileVersion{};
    }
    return FileVersionFromWords(info->dwFileVersionMS, info->dwFileVersionLS);
}

FileVersion OwnFileVersion() {
    char path[MAX_PATH + 1] = {};
    const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return FileVersion{};
    return ReadFileVersion(path);
}

}  // namespace norvale
