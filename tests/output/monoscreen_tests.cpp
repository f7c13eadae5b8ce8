// monoscreen.exe, the viewer of the shared screen memory: it can come before
// the server, shows what is written there, and ends cleanly.

#include <gtest/gtest.h>

#include <windows.h>

#include "common/win32_resources.h"
#include "output/mono_adapter_layout.h"
#include "tests_support/child_process.h"
#include "tests_support/paths.h"
#include "tests_support/process_windows.h"

namespace norvale {
namespace {

using namespace monoadapter;

// Whether any pixel of the window's first character cell is green.
bool FirstCellLit(HWND window) {
    POINT origin{0, 0};
    ClientToScreen(window, &origin);
    const HDC screen = GetDC(nullptr);
    bool lit = false;
    for (int y = 0; y < 16 && !lit; ++y) {
        for (int x = 0; x < 8 && !lit; ++x) {
            const COLORREF pixel = GetPixel(screen, origin.x + x, origin.y + y);
            lit = pixel != CLR_INVALID && GetGValue(pixel) > 100 && GetRValue(pixel) < 100;
        }
    }
    ReleaseDC(nullptr, screen);
    return lit;
}

template <typename Condition>
bool WaitFor(Condition condition, DWORD milliseconds) {
    const DWORD start = GetTickCount();
    while (!condition()) {
        if (GetTickCount() - start > milliseconds) return false;
        Sleep(20);
    }
    return true;
}

TEST(MonoScreenViewerTest, ComesBeforeTheServerAndShowsWhatIsWritten) {
    test::ChildProcess viewer("\"" + test::BinDirectory() + "monoscreen.exe\"");
    HWND window = nullptr;
    ASSERT_TRUE(WaitFor([&] { return (window = test::FindProcessWindow(viewer.Id(), "NorvaleMonoScreen", {}, true)) != nullptr; }, 20000))
        << "no viewer window within 20 s";
    char caption[64] = {};
    GetWindowTextA(window, caption, sizeof caption);
    EXPECT_STREQ(caption, "Norvale Monochrome Screen");

    // The viewer made the memory; the server finds it.
    const UniqueHandle mapping(
        CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, kMappingSize, kMappingName));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    ASSERT_TRUE(mapping);
    auto* screen = static_cast<uint8_t*>(MapViewOfFile(mapping.get(), FILE_MAP_WRITE, 0, 0, kMappingSize));
    ASSERT_NE(screen, nullptr);
    // The cursor hidden as the server hides it, the cell still empty.
    screen[kCrtRegistersOffset + kCursorStartRegister] = 0x10;
    screen[kCrtRegistersOffset + kCursorEndRegister] = 0x10;
    EXPECT_TRUE(WaitFor([&] { return !FirstCellLit(window); }, 5000)) << "the cursor stayed for 5 s";
    screen[0] = '#';
    screen[1] = 0x0A;
    EXPECT_TRUE(WaitFor([&] { return FirstCellLit(window); }, 5000)) << "the cell did not show within 5 s";
    UnmapViewOfFile(screen);

    PostMessageA(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(viewer.WaitForExit(20000), 0);
}

}  // namespace
}  // namespace norvale
