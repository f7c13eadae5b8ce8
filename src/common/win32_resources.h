#pragma once

#include <windows.h>

#include "common/unique_resource.h"

namespace norvale {

struct HandleTraits {
    using Type = HANDLE;
    static Type Invalid() { return nullptr; }
    static bool IsValid(Type h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
    static void Close(Type h) { CloseHandle(h); }
};
using UniqueHandle = UniqueResource<HandleTraits>;

struct LocalMemoryTraits {
    using Type = HLOCAL;
    static Type Invalid() { return nullptr; }
    static bool IsValid(Type h) { return h != nullptr; }
    static void Close(Type h) { LocalFree(h); }
};
using UniqueLocalMemory = UniqueResource<LocalMemoryTraits>;

struct GlobalMemoryTraits {
    using Type = HGLOBAL;
    static Type Invalid() { return nullptr; }
    static bool IsValid(Type h) { return h != nullptr; }
    static void Close(Type h) { GlobalFree(h); }
};
using UniqueGlobalMemory = UniqueResource<GlobalMemoryTraits>;

// A view of a file mapping.
struct MappedViewTraits {
    using Type = void*;
    static Type Invalid() { return nullptr; }
    static bool IsValid(Type view) { return view != nullptr; }
    static void Close(Type view) { UnmapViewOfFile(view); }
};
using UniqueMappedView = UniqueResource<MappedViewTraits>;

struct ModuleTraits {
    using Type = HMODULE;
    static Type Invalid() { return nullptr; }
    static bool IsValid(Type h) { return h != nullptr; }
    static void Close(Type h) { FreeLibrary(h); }
};
using UniqueModule = UniqueResource<ModuleTraits>;

struct GdiObjectTraits {
    using Type = HGDIOBJ;
    static Type Invalid() { return nullptr; }
    static bool IsValid(Type h) { return h != nullptr; }
    static void Close(Type h) { DeleteObject(h); }
};
using UniqueGdiObject = UniqueResource<GdiObjectTraits>;

struct IconTraits {
    using Type = HICON;
    static Type Invalid() { return nullptr; }
    static bool IsValid(Type h) { return h != nullptr; }
    static void Close(Type h) { DestroyIcon(h); }
};
using UniqueIcon = UniqueResource<IconTraits>;

struct MenuTraits {
    using Type = HMENU;
    static Type Invalid() { return nullptr; }
    static bool IsValid(Type h) { return h != nullptr; }
    static void Close(Type h) { DestroyMenu(h); }
};
using UniqueMenu = UniqueResource<MenuTraits>;

struct ServiceHandleTraits {
    using Type = SC_HANDLE;
    static Type Invalid() { return nullptr; }
    static bool IsValid(Type h) { return h != nullptr; }
    static void Close(Type h) { CloseServiceHandle(h); }
};
using UniqueServiceHandle = UniqueResource<ServiceHandleTraits>;

struct EventSourceTraits {
    using Type = HANDLE;
    static Type Invalid() { return nullptr; }
    static bool IsValid(Type h) { return h != nullptr; }
    static void Close(Type h) { DeregisterEventSource(h); }
};
using UniqueEventSource = UniqueResource<EventSourceTraits>;

}  // namespace norvale
