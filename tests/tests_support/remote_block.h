#pragma once

#ifdef _WIN32

#include <windows.h>

#include <stdexcept>

#include "common/win32_resources.h"

namespace norvale::test {

// A block of memory in the window's process, where the controls can read
// and write the structures of their messages.
class RemoteBlock {
public:
    RemoteBlock(HWND window, size_t size) {
        DWORD processId = 0;
        GetWindowThreadProcessId(window, &processId);
        process_.reset(OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, processId));
        if (!process_) throw std::runtime_error("cannot open the window's process");
        address_ = VirtualAllocEx(process_.get(), nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
        if (address_ == nullptr) throw std::runtime_error("cannot allocate in the window's process");
    }
    ~RemoteBlock() { VirtualFreeEx(process_.get(), address_, 0, MEM_RELEASE); }
    RemoteBlock(const RemoteBlock&) = delete;
    RemoteBlock& operator=(const RemoteBlock&) = delete;

    char* At(size_t offset) const { return static_cast<char*>(address_) + offset; }
    void Write(size_t offset, const void* from, size_t size) const {
        WriteProcessMemory(process_.get(), At(offset), from, size, nullptr);
    }
    void Read(size_t offset, void* into, size_t size) const {
        ReadProcessMemory(process_.get(), At(offset), into, size, nullptr);
    }

private:
    UniqueHandle process_;
    void* address_ = nullptr;
};

}  // namespace norvale::test

#endif
