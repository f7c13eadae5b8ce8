#pragma once

#include <windows.h>

#include <exception>

namespace norvale {

// The base of every window of the program: a small object around its HWND.
// The window procedure finds the object through GWLP_USERDATA and hands it
// each message; an exception a handler raises ends at the procedure, shown to
// the user as the application's top-level handler would, never crossing into
// the system.
class TWindow {
public:
    TWindow() = default;
    virtual ~TWindow();
    TWindow(const TWindow&) = delete;
    TWindow& operator=(const TWindow&) = delete;

    HWND Handle() const { return handle_; }

protected:
    // Registers the class (once per name) and creates the window; the object
    // is bound to it from WM_NCCREATE on.
    void Create(const char* className, DWORD exStyle, const char* caption, DWORD style, int x, int y, int width,
                int height, HWND parent, HMENU menu);

    // The same for a Unicode window: its class is registered with the wide
    // calls, so it and its controls exchange UTF-16 text and notifications.
    // `DefaultHandling` must then call the wide default procedure.
    void CreateUnicode(const wchar_t* className, DWORD exStyle, const wchar_t* caption, DWORD style, int x, int y,
                       int width, int height, HWND parent, HBRUSH background);

    // Destroys the window now, before the members of a derived window go.
    void DestroyHandle();

    virtual LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    // What the window does with a message it does not handle itself.
    virtual LRESULT DefaultHandling(UINT message, WPARAM wParam, LPARAM lParam);

    // Customises the class before it is registered.
    virtual void FillClass(WNDCLASSEXA&) {}

private:
    static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    HWND handle_ = nullptr;
};

// A window's device context (the screen's for none), released when it goes.
class UniqueWindowDc {
public:
    explicit UniqueWindowDc(HWND window = nullptr) : window_(window), dc_(GetDC(window)) {}
    ~UniqueWindowDc() {
        if (dc_ != nullptr) ReleaseDC(window_, dc_);
    }
    UniqueWindowDc(const UniqueWindowDc&) = delete;
    UniqueWindowDc& operator=(const UniqueWindowDc&) = delete;
    HDC get() const { return dc_; }

private:
    HWND window_;
    HDC dc_;
};

// Pixels at 96 dots per inch, on this screen.
int Scaled(int pixels);

// The top-level handler of the window thread: a silent abort is dropped,
// every other failure is shown in a message box.
void ShowWindowThreadFailure(const std::exception& failure);

}  // namespace norvale
