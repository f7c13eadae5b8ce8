#include "shell/splash_form.h"

#include <algorithm>
#include <cstdint>
#include <vector>

#include "common/errors.h"
#include "common/version.h"
#include "shell/shell_resources.h"

namespace norvale {

namespace {

constexpr UINT_PTR kCloseTimer = 1;

// Top-down 32-bit pixels of a bitmap resource.
struct Pixels {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> data;
};

UniqueGdiObject LoadBitmapResource(LPCSTR name) {
    UniqueGdiObject bitmap(LoadImageA(GetModuleHandleA(nullptr), name, IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
    if (!bitmap) throw ENorvaleError("the program's pictures cannot be loaded");
    return bitmap;
}

Pixels ReadPixels(HGDIOBJ bitmap) {
    BITMAP shape{};
    GetObjectA(bitmap, sizeof shape, &shape);
    Pixels pixels{shape.bmWidth, shape.bmHeight, std::vector<uint32_t>(size_t(shape.bmWidth) * shape.bmHeight)};
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = shape.bmWidth;
    info.bmiHeader.biHeight = -shape.bmHeight;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    const HDC screen = GetDC(nullptr);
    const int rows = GetDIBits(screen, static_cast<HBITMAP>(bitmap), 0, shape.bmHeight, pixels.data.data(), &info,
                               DIB_RGB_COLORS);
    ReleaseDC(nullptr, screen);
    if (rows != shape.bmHeight) throw ENorvaleError("the program's pictures cannot be read");
    return pixels;
}

// How much of each source cell [k, k+1) falls into target cell `t` when
// `from` cells are spread over `to`: the weights of an area average.
std::vector<std::vector<std::pair<int, double>>> Footprints(int from, int to) {
    std::vector<std::vector<std::pair<int, double>>> weights(static_cast<size_t>(to));
    const double ratio = double(from) / to;
    for (int t = 0; t < to; ++t) {
        const double begin = t * ratio;
        const double end = (t + 1) * ratio;
        for (int k = int(begin); k < from && k < end; ++k) {
            const double covered = std::min(end, k + 1.0) - std::max(begin, double(k));
            if (covered > 0) weights[size_t(t)].push_back({k, covered / ratio});
        }
    }
    return weights;
}

// Area averaging rather than StretchBlt's HALFTONE, which not every system
// implements as an average: the picture looks the same everywhere.
Pixels Resampled(const Pixels& source, int width, int height) {
    const auto across = Footprints(source.width, width);
    const auto down = Footprints(source.height, height);
    std::vector<double> rows(size_t(width) * source.height * 4);
    for (int y = 0; y < source.height; ++y) {
        for (int x = 0; x < width; ++x) {
            double* sum = &rows[(size_t(y) * width + x) * 4];
            for (const auto& [k, weight] : across[size_t(x)]) {
                const uint32_t pixel = source.data[size_t(y) * source.width + k];
                for (int channel = 0; channel < 4; ++channel) sum[channel] += ((pixel >> (8 * channel)) & 0xFF) * weight;
            }
        }
    }
    Pixels target{width, height, std::vector<uint32_t>(size_t(width) * height)};
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            double sum[4] = {};
            for (const auto& [k, weight] : down[size_t(y)]) {
                for (int channel = 0; channel < 4; ++channel) sum[channel] += rows[(size_t(k) * width + x) * 4 + channel] * weight;
            }
            // Opaque: a control that blends 32-bit pictures must not see
            // holes where a 24-bit resource had no alpha at all.
            uint32_t pixel = 0xFF000000u;
            for (int channel = 0; channel < 3; ++channel) {
                pixel |= uint32_t(std::clamp(int(sum[channel] + 0.5), 0, 255)) << (8 * channel);
            }
            target.data[size_t(y) * width + x] = pixel;
        }
    }
    return target;
}

UniqueGdiObject BitmapOf(const Pixels& pixels) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = pixels.width;
    info.bmiHeader.biHeight = -pixels.height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    UniqueGdiObject bitmap(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (!bitmap) throw ENorvaleError("the program's pictures cannot be made");
    std::copy(pixels.data.begin(), pixels.data.end(), static_cast<uint32_t*>(bits));
    return bitmap;
}

}  // namespace

UniqueGdiObject LoadScaledPicture(LPCSTR name, LPCSTR name2x, int width, int height) {
    const int scaledWidth = Scaled(width);
    const int scaledHeight = Scaled(height);
    if (name != nullptr && scaledWidth == width && scaledHeight == height) return LoadBitmapResource(name);
    const UniqueGdiObject large = LoadBitmapResource(name2x);
    return BitmapOf(Resampled(ReadPixels(large.get()), scaledWidth, scaledHeight));
}

TSplashForm::TSplashForm(int clientWidth, int clientHeight, bool closeTimerEnabled)
    : tim_CloseEnabled_(closeTimerEnabled) {
    const int width = Scaled(clientWidth);
    const int height = Scaled(clientHeight);
    // No frame, so the window is its client area; a tool window keeps it off
    // the task bar.
    Create("TNorvaleSplashForm", WS_EX_TOPMOST | WS_EX_TOOLWINDOW, "Norvale", WS_POPUP,
           (GetSystemMetrics(SM_CXSCREEN) - width) / 2, (GetSystemMetrics(SM_CYSCREEN) - height) / 2, width, height,
           nullptr, nullptr);
    // The close time counts from creation, however long the start-up takes
    // to reach the message loop.
    if (tim_CloseEnabled_) SetTimer(Handle(), kCloseTimer, kCloseMilliseconds, nullptr);
    FormShow();
    ShowWindow(Handle(), SW_SHOWNOACTIVATE);
    UpdateWindow(Handle());
}

TSplashForm::~TSplashForm() { DestroyHandle(); }

void TSplashForm::ShowSplash() {
    lbl_Version_ = LongVersionText(OwnFileVersion());
    if (Handle() == nullptr) return;
    ShowWindow(Handle(), SW_SHOWNOACTIVATE);
    InvalidateRect(Handle(), nullptr, FALSE);
    UpdateWindow(Handle());
}

void TSplashForm::FormShow() {
    if (img_Splash_) return;
    RECT client{};
    GetClientRect(Handle(), &client);
    const int width = MulDiv(client.right, 96, Scaled(96));
    const int height = MulDiv(client.bottom, 96, Scaled(96));
    img_Splash_ = LoadScaledPicture("LOGO", MAKEINTRESOURCEA(IDB_LOGO_2X), width, height);
}

void TSplashForm::tim_CloseTimer() {
    tim_CloseEnabled_ = false;
    KillTimer(Handle(), kCloseTimer);
    // The object outlives the window: its handle turns null here.
    DestroyHandle();
}

void TSplashForm::Paint() {
    PAINTSTRUCT paint;
    const HDC target = BeginPaint(Handle(), &paint);
    RECT client{};
    GetClientRect(Handle(), &client);
    if (img_Splash_) {
        const HDC memory = CreateCompatibleDC(target);
        const HGDIOBJ before = SelectObject(memory, img_Splash_.get());
        BITMAP shape{};
        GetObjectA(img_Splash_.get(), sizeof shape, &shape);
        SetStretchBltMode(target, HALFTONE);
        StretchBlt(target, 0, 0, client.right, client.bottom, memory, 0, 0, shape.bmWidth, shape.bmHeight, SRCCOPY);
        SelectObject(memory, before);
        DeleteDC(memory);
    }
    EndPaint(Handle(), &paint);
}

LRESULT TSplashForm::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_ERASEBKGND: return 1;
        case WM_PAINT: Paint(); return 0;
        case WM_TIMER:
            if (wParam == kCloseTimer) {
                tim_CloseTimer();
                return 0;
            }
            break;
        default: break;
    }
    return DefaultHandling(message, wParam, lParam);
}

TNorvaleSplashForm::TNorvaleSplashForm() : TSplashForm(461, 163, true) {}

}  // namespace norvale
