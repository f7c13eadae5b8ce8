#include "common/window_win32.h"

#include <utility>

#include "common/errors.h"
#include "common/failure_report.h"

namespace norvale {

TWindow::~TWindow() { DestroyHandle(); }

void TWindow::DestroyHandle() {
    if (handle_ == nullptr) return;
    // Unbound first: the messages of the destruction find no half-destroyed
    // object.
    SetWindowLongPtrA(handle_, GWLP_USERDATA, 0);
    DestroyWindow(std::exchange(handle_, nullptr));
}

void TWindow::Create(const char* className, DWORD exStyle, const char* caption, DWORD style, int x, int y, int width,
                     int height, HWND parent, HMENU menu) {
    const HINSTANCE instance = GetModuleHandleA(nullptr);
    WNDCLASSEXA known{};
    known.cbSize = sizeof known;
    if (!GetClassInfoExA(instance, className, &known)) {
        WNDCLASSEXA windowClass{};
        windowClass.cbSize = sizeof windowClass;
        windowClass.lpfnWndProc = Procedure;
        windowClass.hInstance = instance;
        windowClass.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
        windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
        windowClass.lpszClassName = className;
        FillClass(windowClass);
        if (RegisterClassExA(&windowClass) == 0) throw ENorvaleError(std::string("cannot register window class ") + className);
    }
    if (CreateWindowExA(exStyle, className, caption, style, x, y, width, height, parent, menu, instance, this) ==
        nullptr) {
        throw ENorvaleError(std::string("cannot create window ") + className);
    }
}

void TWindow::CreateUnicode(const wchar_t* className, DWORD exStyle, const wchar_t* caption, DWORD style, int x,
                            int y, int width, int height, HWND parent, HBRUSH background) {
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSEXW known{};
    known.cbSize = sizeof known;
    if (!GetClassInfoExW(instance, className, &known)) {
        WNDCLASSEXW windowClass{};
        windowClass.cbSize = sizeof windowClass;
        windowClass.lpfnWndProc = Procedure;
        windowClass.hInstance = instance;
        windowClass.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
        windowClass.hbrBackground = background;
        windowClass.lpszClassName = className;
        if (RegisterClassExW(&windowClass) == 0) throw ENorvaleError("cannot register a Unicode window class");
    }
    if (CreateWindowExW(exStyle, className, caption, style, x, y, width, height, parent, nullptr, instance, this) ==
        nullptr) {
        throw ENorvaleError("cannot create a Unicode window");
    }
}

LRESULT TWindow::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    return DefaultHandling(message, wParam, lParam);
}

LRESULT TWindow::DefaultHandling(UINT message, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcA(handle_, message, wParam, lParam);
}

LRESULT CALLBACK TWindow::Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        // The wide and the single-byte structures differ only in their texts.
        const auto* creation = reinterpret_cast<CREATESTRUCTA*>(lParam);
        // A document child gets its creation parameter wrapped by the frame.
        void* parameter = (creation->dwExStyle & WS_EX_MDICHILD) != 0
                              ? reinterpret_cast<void*>(
                                    static_cast<const MDICREATESTRUCTA*>(creation->lpCreateParams)->lParam)
                              : creation->lpCreateParams;
        auto* created = static_cast<TWindow*>(parameter);
        created->handle_ = window;
        SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(created));
    }
    auto* self = reinterpret_cast<TWindow*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (self == nullptr) {
        return IsWindowUnicode(window) ? DefWindowProcW(window, message, wParam, lParam)
                                       : DefWindowProcA(window, message, wParam, lParam);
    }
    LRESULT result = 0;
    try {
        result = self->HandleMessage(message, wParam, lParam);
    } catch (const std::exception& failure) {
        ShowWindowThreadFailure(failure);
    }
    if (message == WM_NCDESTROY) {
        // Destroyed from outside (with its parent): the object outlives it
        // and must not reach for the handle again.
        SetWindowLongPtrA(window, GWLP_USERDATA, 0);
        self->handle_ = nullptr;
    }
    return result;
}

int Scaled(int pixels) {
    const UniqueWindowDc screen;
    return MulDiv(pixels, GetDeviceCaps(screen.get(), LOGPIXELSX), 96);
}

void ShowWindowThreadFailure(const std::exception& failure) {
    if (dynamic_cast<const EAbort*>(&failure) != nullptr) return;
    ReportFailure("Norvale", failure.what());
}

}  // namespace norvale
