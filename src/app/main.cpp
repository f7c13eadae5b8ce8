// Program start: the multithreaded apartment, the start mode, registration,
// then the process's parts until the program ends.

#include <windows.h>
#include <objbase.h>

#include <string>
#include <vector>

#include "app/command_line.h"
#include "app/norvale_process.h"
#include "app/registration.h"
#include "app/start_mode.h"
#include "common/call_profile_win32.h"
#include "common/failure_report.h"
#include "norvale/Norvale_h.h"
#include "server/com_class.h"

namespace norvale {
namespace {

class TApartment {
public:
    TApartment() : joined_(SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED))) {}
    ~TApartment() { Leave(); }
    TApartment(const TApartment&) = delete;
    TApartment& operator=(const TApartment&) = delete;

    // Releases whatever clients still hold of the process's objects.
    void Leave() {
        if (joined_) CoUninitialize();
        joined_ = false;
    }

private:
    bool joined_;
};

std::string OwnPath() {
    char path[MAX_PATH + 1] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    return path;
}

int Run() {
    // First made, last gone: calls still running while the apartment is left
    // may write into it.
    const TCallProfileAttachment callProfile;
    TApartment apartment;
    const StartMode mode = StartModeOf(CommandLineArguments());

    const std::string exePath = OwnPath();
    const ComPtr<ITypeLib> library = LoadTypeLibraryFrom(exePath);
    const TComClass norvaleClass = ReadComClass(library.get(), CLSID_Norvale);

    if (mode == StartMode::Unregister) {
        UnregisterServer(norvaleClass, library.get(), exePath);
        return 0;
    }
    RegisterServer(norvaleClass, library.get(), exePath);
    if (mode == StartMode::Register) return 0;

    TNorvaleProcess process(mode, library.get());
    process.Serve();
    process.EndOfProcess();
    apartment.Leave();
    return 0;
}

}  // namespace
}  // namespace norvale

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    try {
        return norvale::Run();
    } catch (const std::exception& failure) {
        norvale::ReportFailure("Norvale", failure.what());
        return 1;
    }
}
