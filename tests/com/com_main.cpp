// The tests that are clients of the automation server. The server is
// registered once for the whole run; tests start it through activation or by
// hand, and every server process they start ends before the next test.

#include <gtest/gtest.h>

#include <objbase.h>
#include <shellapi.h>

#include "tests/com/com_support.h"

namespace {

// Wine's notification area without a window manager is a window of its own
// that hides when its last icon goes, and the shell call that removes that
// icon waits two seconds for the hiding. An icon of the tests' own keeps it
// up for the whole run, so no server's end waits for it.
class TrayKeeper {
public:
    TrayKeeper() {
        window_ = CreateWindowExA(0, "STATIC", "norvale tests", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, nullptr,
                                  nullptr);
        record_.cbSize = NOTIFYICONDATAA_V1_SIZE;
        record_.hWnd = window_;
        record_.uFlags = NIF_ICON;
        record_.hIcon = LoadIconA(nullptr, reinterpret_cast<LPCSTR>(IDI_APPLICATION));
        Shell_NotifyIconA(NIM_ADD, &record_);
    }
    ~TrayKeeper() {
        Shell_NotifyIconA(NIM_DELETE, &record_);
        DestroyWindow(window_);
    }

private:
    HWND window_ = nullptr;
    NOTIFYICONDATAA record_{};
};

class ServerRegistration : public testing::Environment {
public:
    void SetUp() override {
        // Failures of servers started by these tests go to standard error,
        // never into a dialog that would wait for a click.
        SetEnvironmentVariableA("NORVALE_NO_DIALOGS", "1");
        ASSERT_EQ(norvale::test::RunProgram("\"" + norvale::test::NorvaleExe() + "\" /RegServer"), 0);
    }
};

}  // namespace

int main(int argc, char** argv) {
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    testing::InitGoogleTest(&argc, argv);
    testing::AddGlobalTestEnvironment(new ServerRegistration);
    const TrayKeeper trayKeeper;
    const int result = RUN_ALL_TESTS();
    CoUninitialize();
    return result;
}
