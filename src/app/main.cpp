// Program start: the multithreaded apartment, the start mode, the output
// lock, registration, the class factory, and the main thread's message loop.

#include <windows.h>
#include <objbase.h>
#include <shellapi.h>

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "app/class_factory.h"
#include "common/failure_report.h"
#include "app/object_count.h"
#include "app/registration.h"
#include "app/start_mode.h"
#include "app/terminate_request.h"
#include "common/ansi_text.h"
#include "common/call_profile_win32.h"
#include "common/errors.h"
#include "common/mutex.h"
#include "config/config_form_win32.h"
#include "debugger/debug_runs.h"
#include "norvale/Norvale_h.h"
#include "server/server_instance.h"
#include "shell/main_form.h"
#include "shell/shell_prompts.h"
#include "shell/splash_form.h"
#include "store/trace_store.h"

namespace norvale {
namespace {

constexpr const char* kOutputLockName = "brantwick Norvale Mutex";
// A process the platform started for a client that never came (several
// servers launched at once) ends after this long.
constexpr UINT kAutomationIdleMilliseconds = 60000;

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

std::vector<std::string> CommandLineArguments() {
    int count = 0;
    LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
    std::vector<std::string> arguments;
    for (int i = 1; i < count; ++i) arguments.push_back(WideToAnsi(wide[i]));
    LocalFree(wide);
    return arguments;
}

std::string OwnPath() {
    char path[MAX_PATH + 1] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    return path;
}

// Offers the factory while it lives.
class TClassRegistration {
public:
    TClassRegistration(REFCLSID clsid, IClassFactory* factory) {
        const HRESULT result =
            CoRegisterClassObject(clsid, factory, CLSCTX_LOCAL_SERVER, REGCLS_MULTIPLEUSE, &cookie_);
        if (FAILED(result)) throw ENorvaleError("cannot offer the Norvale class for activation", result);
    }
    ~TClassRegistration() { CoRevokeClassObject(cookie_); }

private:
    DWORD cookie_ = 0;
};

void RunMessageLoop(StartMode mode, const std::atomic<bool>& activated, TMainForm& mainForm) {
    const UINT_PTR idleTimer =
        mode == StartMode::Automation ? SetTimer(nullptr, 0, kAutomationIdleMilliseconds, nullptr) : 0;
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        if (message.message == WM_TIMER && message.hwnd == nullptr && message.wParam == idleTimer) {
            KillTimer(nullptr, idleTimer);
            // Unless the user has come to read the window meanwhile.
            if (!activated && !IsWindowVisible(mainForm.Handle())) return;
            continue;
        }
        if (mainForm.PreTranslateMessage(message)) continue;
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

int Run() {
    // First made, last gone: calls still running while the apartment is left
    // may write into it.
    const TCallProfileAttachment callProfile;
    TApartment apartment;
    const StartMode mode = StartModeOf(CommandLineArguments());
    TMutex outputLock(kOutputLockName);

    const std::string exePath = OwnPath();
    const ComPtr<ITypeLib> library = LoadTypeLibraryFrom(exePath);
    const TComClass norvaleClass = ReadComClass(library.get(), CLSID_Norvale);
    const TComClass sessionClass = ReadComClass(library.get(), CLSID_DebugSession);

    if (mode == StartMode::Unregister) {
        UnregisterServer(norvaleClass, library.get());
        return 0;
    }
    RegisterServer(norvaleClass, library.get(), exePath);
    if (mode == StartMode::Register) return 0;

    // Before the class is offered, so that the quit of a client that comes
    // and goes at once finds the main thread's queue.
    TObjectCount objectCount(mode);
    // The trace window's rows belong to the process: they gather from the
    // start, whichever server object dispatches them.
    TTraceStore traceStore(ReadOptionsSettings(OptionsLocation{}).WindowLines);
    auto outputs = TProcessOutputs::MakeForProcess();
    outputs->SetWindow(&traceStore);
    outputs->RefreshOptions();
    // `ConfigDialog`: the properties dialog once it is made. Sessions come
    // and go on call threads, under the output lock; the dialog is asked to
    // refresh its Status page on its own thread.
    std::atomic<TNorvaleConfigForm*> ConfigDialog{nullptr};
    TSessionRegistry registry(outputLock, [&ConfigDialog] {
        if (TNorvaleConfigForm* dialog = ConfigDialog.load()) dialog->RequestRefreshStatus();
    });
    TServerInstance instance([](const std::string& text) { ReportFailure("DAX Error", text); });
    TServerContext context{outputLock, *outputs, registry, instance, norvaleClass, sessionClass, SettingsLocation{}};
    context.ObjectCreated = [&objectCount] { objectCount.Raise(); };
    context.ObjectDestroyed = [&objectCount] { objectCount.Lower(); };

    // Attach requests come on call threads, also while the runs come and go.
    std::mutex runsLock;
    TDebugRuns* liveRuns = nullptr;
    context.AttachToProcess = [&runsLock, &liveRuns](uint32_t processId) {
        std::lock_guard lock(runsLock);
        if (liveRuns != nullptr) liveRuns->RequestAttach(processId);
    };

    std::atomic<bool> activated{false};
    TSingleAutoObjectFactory factory(context, [&activated] { activated = true; });
    {
        TClassRegistration offered(CLSID_Norvale, &factory);
        // Activations are served from here on, while the shell comes up.
        const auto requestTerminate = [&objectCount] {
            return RequestTerminate(objectCount.Count(), ConfirmCloseWithLiveObjects);
        };
        std::unique_ptr<TNorvaleConfigForm> configDialog;
        TWin32ShellPrompts prompts([&](HWND owner) {
            if (!configDialog) {
                TConfigFormHooks configHooks;
                configHooks.RefreshProperties = [&instance] { instance.RefreshProperties(); };
                configHooks.Status = [&] {
                    TMutexLock lock(outputLock);
                    return SessionStatus{registry.OpenSessionCount(), registry.SessionNames()};
                };
                configHooks.RequestTerminate = requestTerminate;
                configHooks.MonoUnavailable = outputs->Screen().Unavailable();
                const SettingsLocation settings;
                configDialog = std::make_unique<TNorvaleConfigForm>(owner, settings.root, settings.subkey,
                                                                    std::move(configHooks));
                ConfigDialog = configDialog.get();
            }
            configDialog->ShowModal(owner);
        });
        TShellHooks hooks;
        hooks.RequestTerminate = requestTerminate;
        hooks.SpawnProcess = [&liveRuns](const std::string& program) { liveRuns->Spawn(program); };
        hooks.Shown = [&objectCount](bool shown) { shown ? objectCount.Hold() : objectCount.Unhold(); };
        // Closes itself at the first timer tick the message loop handles.
        TNorvaleSplashForm splash;
        splash.ShowSplash();
        TMainForm mainForm(instance, registry, prompts, traceStore, hooks);
        TDebugRuns runs(mainForm);
        {
            std::lock_guard lock(runsLock);
            liveRuns = &runs;
        }
        RunMessageLoop(mode, activated, mainForm);
        std::lock_guard lock(runsLock);
        liveRuns = nullptr;
        // No session change reaches the dialog from here on.
        TMutexLock outputLocked(outputLock);
        ConfigDialog = nullptr;
    }
    // The class is withdrawn. Objects that clients still hold are released
    // by leaving the apartment, while everything they use still lives; the
    // server object among them is not destroyed.
    instance.EndOfProcess();
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
