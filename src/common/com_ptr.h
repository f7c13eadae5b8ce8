#pragma once

// Owners for COM resources: interface pointers, BSTRs and safe-array
// data locks. Each releases what it holds when it goes.

#include <windows.h>
#include <oaidl.h>

#include <utility>

#include "common/unique_resource.h"

namespace norvale {

template <typename T>
class ComPtr {
public:
    ComPtr() = default;
    ComPtr(std::nullptr_t) {}
    // Takes over a reference the caller already holds.
    static ComPtr Attach(T* raw) {
        ComPtr p;
        p.ptr_ = raw;
        return p;
    }
    // Adds a reference of its own.
    static ComPtr Share(T* raw) {
        if (raw != nullptr) raw->AddRef();
        return Attach(raw);
    }
    ComPtr(const ComPtr& other) : ptr_(other.ptr_) {
        if (ptr_ != nullptr) ptr_->AddRef();
    }
    ComPtr(ComPtr&& other) noexcept : ptr_(std::exchange(other.ptr_, nullptr)) {}
    ComPtr& operator=(ComPtr other) noexcept {
        std::swap(ptr_, other.ptr_);
        return *this;
    }
    ~ComPtr() { reset(); }

    void reset() {
        if (T* old = std::exchange(ptr_, nullptr)) old->Release();
    }
    T* get() const { return ptr_; }
    T* operator->() const { return ptr_; }
    explicit operator bool() const { return ptr_ != nullptr; }
    T** put() {
        reset();
        return &ptr_;
    }
    void** put_void() { return reinterpret_cast<void**>(put()); }
    T* detach() { return std::exchange(ptr_, nullptr); }

    template <typename U>
    ComPtr<U> query(REFIID iid) const {
        ComPtr<U> result;
        if (ptr_ != nullptr) ptr_->QueryInterface(iid, result.put_void());
        return result;
    }

private:
    T* ptr_ = nullptr;
};

struct BstrTraits {
    using Type = BSTR;
    static Type Invalid() { return nullptr; }
    static bool IsValid(Type s) { return s != nullptr; }
    static void Close(Type s) { SysFreeString(s); }
};
using UniqueBstr = UniqueResource<BstrTraits>;

// Keeps a safe array's data locked and reachable for one scope.
class SafeArrayDataLock {
public:
    explicit SafeArrayDataLock(SAFEARRAY* array) : array_(array) {
        if (FAILED(SafeArrayAccessData(array_, &data_))) {
            array_ = nullptr;
            data_ = nullptr;
        }
    }
    ~SafeArrayDataLock() {
        if (array_ != nullptr) SafeArrayUnaccessData(array_);
    }
    SafeArrayDataLock(const SafeArrayDataLock&) = delete;
    SafeArrayDataLock& operator=(const SafeArrayDataLock&) = delete;
    void* data() const { return data_; }
    bool locked() const { return array_ != nullptr; }

private:
    SAFEARRAY* array_;
    void* data_ = nullptr;
};

}  // namespace norvale
