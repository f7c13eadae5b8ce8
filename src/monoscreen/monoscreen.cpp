// monoscreen.exe: the server's monochrome screen in a window, for machines
// without a second adapter. It shows the shared memory the server writes
// the screen into, green on black as the adapter would, and follows every
// change. It may start before or after the server and outlives its restarts:
// the memory lives as long as either program holds it.

#include <windows.h>

#include <array>
#include <cstring>

#include "common/errors.h"
#include "common/failure_report.h"
#include "common/win32_resources.h"
#include "common/window_win32.h"
#include "output/mono_adapter_layout.h"
#include "output/mono_look.h"
#include "shell/shell_resources.h"

namespace norvale {
namespace {

using namespace monoadapter;

// Often enough that a change shows within 100 ms; a check that finds no
// change costs one comparison of 4 KiB.
constexpr UINT kRefreshMilliseconds = 40;
constexpr UINT_PTR kRefreshTimer = 1;
constexpr COLORREF kBlack = RGB(0, 0, 0);
constexpr COLORREF kNormal = RGB(0, 170, 0);
constexpr COLORREF kIntense = RGB(85, 255, 85);

using ScreenBytes = std::array<uint8_t, kCrtRegistersOffset + kCrtRegisterCount>;

class TMonoScreenForm final : public TWindow {
public:
    TMonoScreenForm() {
        // Opens the server's memory, or makes it for the server to find.
        mapping_.reset(CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                          static_cast<DWORD>(kMappingSize), kMappingName));
        if (!mapping_) throw ENorvaleError("the screen's shared memory cannot be opened");
        view_.reset(MapViewOfFile(mapping_.get(), FILE_MAP_READ, 0, 0, kMappingSize));
        if (!view_) throw ENorvaleError("the screen's shared memory cannot be read");

        font_.reset(CreateFontA(-16, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, ANSI_CHARSET, OUT_DEFAULT_PRECIS,
                                CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, FIXED_PITCH | FF_MODERN, "Courier New"));
        MeasureCell();
        icon_.reset(static_cast<HICON>(
            LoadImageA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDI_NORVALE), IMAGE_ICON, 0, 0, LR_DEFAULTSIZE)));

        const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
        RECT frame{0, 0, cellWidth_ * kColumns, cellHeight_ * kRows};
        AdjustWindowRect(&frame, style, FALSE);
        Create("NorvaleMonoScreen", 0, "Norvale Monochrome Screen", style, CW_USEDEFAULT, CW_USEDEFAULT,
               frame.right - frame.left, frame.bottom - frame.top, nullptr, nullptr);
        SendMessageA(Handle(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon_.get()));
        std::memcpy(shown_.data(), view_.get(), shown_.size());
        SetTimer(Handle(), kRefreshTimer, kRefreshMilliseconds, nullptr);
    }

protected:
    void FillClass(WNDCLASSEXA& windowClass) override {
        windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    }

    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override {
        switch (message) {
            case WM_TIMER:
                if (wParam == kRefreshTimer) Refresh();
                return 0;
            case WM_ERASEBKGND: return 1;
            case WM_PAINT: Paint(); return 0;
            case WM_DESTROY: PostQuitMessage(0); return 0;
            default: return TWindow::HandleMessage(message, wParam, lParam);
        }
    }

private:
    void MeasureCell() {
        const HDC screen = GetDC(nullptr);
        const HGDIOBJ old = SelectObject(screen, font_.get());
        TEXTMETRICA metrics{};
        GetTextMetricsA(screen, &metrics);
        SelectObject(screen, old);
        ReleaseDC(nullptr, screen);
        cellWidth_ = metrics.tmAveCharWidth;
        cellHeight_ = metrics.tmHeight;
    }

    void Refresh() {
        if (std::memcmp(shown_.data(), view_.get(), shown_.size()) == 0) return;
        std::memcpy(shown_.data(), view_.get(), shown_.size());
        InvalidateRect(Handle(), nullptr, FALSE);
    }

    // Drawn off screen first, so a busy trace does not flicker.
    void Paint() {
        PAINTSTRUCT paint;
        const HDC target = BeginPaint(Handle(), &paint);
        const int width = cellWidth_ * kColumns;
        const int height = cellHeight_ * kRows;
        const HDC canvas = CreateCompatibleDC(target);
        const UniqueGdiObject bitmap(CreateCompatibleBitmap(target, width, height));
        const HGDIOBJ oldBitmap = SelectObject(canvas, bitmap.get());
        const HGDIOBJ oldFont = SelectObject(canvas, font_.get());
        const RECT all{0, 0, width, height};
        SetBkColor(canvas, kBlack);
        ExtTextOutA(canvas, 0, 0, ETO_OPAQUE, &all, nullptr, 0, nullptr);
        for (int row = 0; row < kRows; ++row) {
            for (int column = 0; column < kColumns; ++column) PaintCell(canvas, row, column);
        }
        PaintCursor(canvas);
        BitBlt(target, 0, 0, width, height, canvas, 0, 0, SRCCOPY);
        SelectObject(canvas, oldFont);
        SelectObject(canvas, oldBitmap);
        DeleteDC(canvas);
        EndPaint(Handle(), &paint);
    }

    void PaintCell(HDC canvas, int row, int column) {
        const size_t offset = static_cast<size_t>(row * kColumns + column) * 2;
        const char character = static_cast<char>(shown_[offset]);
        const MonoCellLook look = LookOfAttribute(shown_[offset + 1]);
        if (!look.Shown || (character == 0 && !look.Reverse)) return;
        const COLORREF green = look.Intense ? kIntense : kNormal;
        SetTextColor(canvas, look.Reverse ? kBlack : green);
        SetBkColor(canvas, look.Reverse ? green : kBlack);
        const RECT cell{column * cellWidth_, row * cellHeight_, (column + 1) * cellWidth_, (row + 1) * cellHeight_};
        const char shown = character == 0 ? ' ' : character;
        ExtTextOutA(canvas, cell.left, cell.top, ETO_OPAQUE | ETO_CLIPPED, &cell, &shown, 1, nullptr);
        if (look.Underline) {
            const RECT line{cell.left, cell.bottom - 2, cell.right, cell.bottom - 1};
            const UniqueGdiObject brush(CreateSolidBrush(green));
            FillRect(canvas, &line, static_cast<HBRUSH>(brush.get()));
        }
    }

    void PaintCursor(HDC canvas) {
        const MonoCursorLook cursor = CursorOfRegisters(&shown_[kCrtRegistersOffset]);
        if (!cursor.Visible) return;
        // The adapter's cell has 14 scan lines.
        const int top = cursor.Row * cellHeight_ + cursor.FirstLine * cellHeight_ / 14;
        const int bottom = cursor.Row * cellHeight_ + (cursor.LastLine + 1) * cellHeight_ / 14;
        const RECT bar{cursor.Column * cellWidth_, top, (cursor.Column + 1) * cellWidth_, bottom};
        const UniqueGdiObject brush(CreateSolidBrush(kNormal));
        FillRect(canvas, &bar, static_cast<HBRUSH>(brush.get()));
    }

    UniqueHandle mapping_;
    UniqueMappedView view_;
    UniqueGdiObject font_;
    UniqueIcon icon_;
    int cellWidth_ = 8;
    int cellHeight_ = 16;
    ScreenBytes shown_{};
};

int Run(int show) {
    TMonoScreenForm form;
    ShowWindow(form.Handle(), show);
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return 0;
}

}  // namespace
}  // namespace norvale

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int show) {
    try {
        return norvale::Run(show);
    } catch (const std::exception& failure) {
        norvale::ReportFailure("Norvale Monochrome Screen", failure.what());
        return 1;
    }
}
