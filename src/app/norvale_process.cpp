#include "app/norvale_process.h"

#include "app/properties_refresh.h"
#include "app/serving_signal.h"
#include "app/terminate_request.h"
#include "capture/writer_names_win32.h"
#include "common/ansi_text.h"
#include "common/errors.h"
#include "common/failure_report.h"
#include "common/utf8_text.h"
#include "common/win32_resources.h"
#include "norvale/Norvale_h.h"
#include "shell/splash_form.h"
#include "shell/tray_icon_model.h"

namespace norvale {

namespace {

constexpr const char* kOutputLockName = "brantwick Norvale Mutex";
// A process the platform started for a client that never came (several
// servers launched at once) ends after this long.
constexpr UINT kAutomationIdleMilliseconds = 60000;
// The shell comes up within moments of the class being offered: more attach
// requests than this before it are not a client's honest use, and go nowhere.
constexpr size_t kEarlyAttachesKept = 64;

// Offers the factory while it lives.
class TClassRegistration {
public:
    TClassRegistration(REFCLSID clsid, IClassFactory* factory) {
        const HRESULT result =
            CoRegisterClassObject(clsid, factory, CLSCTX_LOCAL_SERVER, REGCLS_MULTIPLEUSE, &cookie_);
        if (FAILED(result)) throw ENorvaleError("cannot offer the Norvale class for activation", result);
        serving_.reset(CreateEventA(nullptr, TRUE, TRUE, kServingEventName));
    }
    ~TClassRegistration() { CoRevokeClassObject(cookie_); }
    TClassRegistration(const TClassRegistration&) = delete;
    TClassRegistration& operator=(const TClassRegistration&) = delete;

private:
    DWORD cookie_ = 0;
    UniqueHandle serving_;
};

}  // namespace

TNorvaleProcess::TNorvaleProcess(StartMode mode, ITypeLib* library)
    : mode_(mode),
      outputLock_(kOutputLockName),
      norvaleClass_(ReadComClass(library, CLSID_Norvale)),
      sessionClass_(ReadComClass(library, CLSID_DebugSession)),
      objectCount_(mode),
      traceStore_(ReadOptionsSettings(OptionsLocation{}).WindowLines),
      forwarding_(SyslogOrigin{WideToUtf8(LocalComputerName())}),
      outputs_(TProcessOutputs::MakeForProcess()),
      stage_(outputLock_, *outputs_, SettingsLocation{}),
      registry_(outputLock_, [this] { dialog_.RequestRefresh(); }),
      instance_([](const std::string& text) { ReportFailure("DAX Error", text); }),
      context_{outputLock_, stage_, registry_, instance_, norvaleClass_, sessionClass_},
      factory_(context_, [this] { activated_ = true; }),
      capture_(stage_, [this] {
          if (const HWND window = traceWindow_.load()) PostMessageW(window, WM_TRACE_STATUS, 0, 0);
          dialog_.RequestRefresh();
      }) {
    WireServer();
    WireOptionsFollowers();
}

void TNorvaleProcess::WireServer() {
    context_.ObjectCreated = [this] { objectCount_.Raise(); };
    context_.ObjectDestroyed = [this] { objectCount_.Lower(); };
    context_.AttachToProcess = [this](uint32_t processId) {
        std::lock_guard lock(runsLock_);
        if (liveRuns_ != nullptr) {
            liveRuns_->RequestAttach(processId);
        } else if (earlyAttaches_.size() < kEarlyAttachesKept) {
            earlyAttaches_.push_back(processId);
        }
    };
    outputs_->SetWindow(&traceStore_);
    outputs_->SetForwarding(&forwarding_);
}

// Capture starts with the process when the options ask for it, client or
// none; its changes reach the dialog and the trace window by posted
// messages only, as the reader thread must never wait. Off the main thread,
// as the output lock is a named mutex that another Norvale process (several
// started at once for clients) may hold.
void TNorvaleProcess::WireOptionsFollowers() {
    OffMainThread([this] {
        TMutexLock lock(outputLock_);
        outputs_->AddOptionsFollower(capture_);
        outputs_->AddOptionsFollower(runsOptions_);
        outputs_->AddOptionsFollower(receiving_);
        outputs_->RefreshOptions();
    });
}

void TNorvaleProcess::TDialogLink::Set(TNorvaleConfigForm* dialog) {
    {
        std::lock_guard lock(lock_);
        dialog_ = dialog;
    }
    // What changed before it could be told.
    RequestRefresh();
}

void TNorvaleProcess::TDialogLink::RequestRefresh() {
    std::lock_guard lock(lock_);
    if (dialog_ != nullptr) dialog_->RequestRefreshStatus();
}

bool TNorvaleProcess::RequestTerminate() {
    return norvale::RequestTerminate(objectCount_.Count(), ConfirmCloseWithLiveObjects);
}

void TNorvaleProcess::RefreshProperties() {
    norvale::RefreshProperties({
        [this] { return instance_.RefreshProperties(); },
        [] { return ReadOptionsSettings(OptionsLocation{}).CaptureDebugOutput; },
        [this] { stage_.RefreshProperties(); },
        [this] {
            TMutexLock lock(outputLock_);
            outputs_->RefreshOptions();
        },
        [this] { stage_.CloseOutputFile(); },
    });
    // Forwarding's answer to a new syslog server shows on the page at once.
    dialog_.RequestRefresh();
}

void TNorvaleProcess::OffMainThread(std::function<void()> job) {
    work_.Post([this, job = std::move(job)] {
        try {
            job();
        } catch (const std::exception& failure) {
            if (const HWND window = mainWindow_.load()) {
                TMainForm::PostFailure(window, failure.what());
            } else {
                ReportFailure("Norvale", failure.what());
            }
        }
    });
}

TConfigFormHooks TNorvaleProcess::ConfigHooks() {
    TConfigFormHooks hooks;
    hooks.RefreshProperties = [this] { OffMainThread([this] { RefreshProperties(); }); };
    // Published values only: the registry's names are read without the
    // output lock.
    hooks.Status = [this] { return SessionStatus{registry_.OpenSessionCount(), registry_.SessionNames()}; };
    hooks.RequestTerminate = [this] { return RequestTerminate(); };
    hooks.CaptureProblem = [this] { return CaptureProblemText(capture_.Status()); };
    hooks.ForwardProblem = [this] { return forwarding_.Status().problem; };
    hooks.ReceiveProblem = [this] { return receiving_.Status().problem; };
    hooks.FileProblem = [this] { return stage_.FileProblem(); };
    hooks.MonoUnavailable = outputs_->Screen().Unavailable();
    return hooks;
}

void TNorvaleProcess::ShowProperties(HWND owner) {
    if (!configForm_) {
        const SettingsLocation settings;
        configForm_ = std::make_unique<TNorvaleConfigForm>(owner, settings.root, settings.subkey, ConfigHooks());
        dialog_.Set(configForm_.get());
    }
    configForm_->ShowModal(owner);
}

TShellHooks TNorvaleProcess::ShellHooks() {
    TShellHooks hooks;
    hooks.RequestTerminate = [this] { return RequestTerminate(); };
    hooks.SpawnProcess = [this](const std::string& program) { liveRuns_->Spawn(program); };
    hooks.HeldByUser = [this](bool held) { held ? objectCount_.Hold() : objectCount_.Unhold(); };
    hooks.ReadProcessStatus = [this] {
        const uint64_t viewerUndelivered = outputs_->ViewerUndelivered();
        return ProcessStatus{{CaptureStatusTexts(capture_.Status()), ViewerStatusTexts(viewerUndelivered),
                              ForwardStatusTexts(forwarding_.Status()), ReceiveStatusTexts(receiving_.Status()),
                              PartStatusTexts{{}, AnsiToWide(stage_.FileProblem())}},
                             viewerUndelivered};
    };
    hooks.OutputFileOpen = [this] { return stage_.OutputFileOpen(); };
    hooks.FlushOutputFile = [this] { OffMainThread([this] { instance_.CloseOutputFile(); }); };
    hooks.SessionMayEnd = [this] { OffMainThread([this] { stage_.CloseOutputFile(); }); };
    hooks.SessionEnds = [this] { stage_.WriteThrough(); };
    return hooks;
}

void TNorvaleProcess::Serve() {
    TClassRegistration offered(CLSID_Norvale, &factory_);
    // Activations are served from here on, while the shell comes up.
    TWin32ShellPrompts prompts([this](HWND owner) { ShowProperties(owner); });
    // Closes itself at the first timer tick the message loop handles.
    TNorvaleSplashForm splash;
    splash.ShowSplash();
    TMainForm mainForm(instance_, registry_, prompts, traceStore_, ShellHooks());
    TDebugRuns runs(mainForm, runsOptions_);
    runs.SetCrashReports(&crashes_);
    const TShellReach reach(*this, mainForm, runs);
    RunMessageLoop(mainForm);
}

TNorvaleProcess::TShellReach::TShellReach(TNorvaleProcess& process, TMainForm& mainForm, TDebugRuns& runs)
    : process_(process) {
    {
        std::lock_guard lock(process_.runsLock_);
        process_.liveRuns_ = &runs;
        for (const uint32_t processId : process_.earlyAttaches_) runs.RequestAttach(processId);
        process_.earlyAttaches_.clear();
    }
    process_.traceWindow_ = mainForm.TraceWindow();
    process_.mainWindow_ = mainForm.Handle();
    // What capture said before the window could be woken.
    PostMessageW(mainForm.TraceWindow(), WM_TRACE_STATUS, 0, 0);
}

TNorvaleProcess::TShellReach::~TShellReach() {
    {
        std::lock_guard lock(process_.runsLock_);
        process_.liveRuns_ = nullptr;
    }
    process_.traceWindow_ = nullptr;
    process_.mainWindow_ = nullptr;
    process_.dialog_.Set(nullptr);
    process_.configForm_.reset();
}

void TNorvaleProcess::RunMessageLoop(TMainForm& mainForm) {
    const UINT_PTR idleTimer =
        mode_ == StartMode::Automation ? SetTimer(nullptr, 0, kAutomationIdleMilliseconds, nullptr) : 0;
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        if (message.message == WM_TIMER && message.hwnd == nullptr && message.wParam == idleTimer) {
            KillTimer(nullptr, idleTimer);
            // Unless the user has come to read the window meanwhile.
            if (!activated_ && !IsWindowVisible(mainForm.Handle())) return;
            continue;
        }
        if (mainForm.PreTranslateMessage(message)) continue;
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

// The class is withdrawn by now. Objects that clients still hold are released
// by leaving the apartment afterwards, while everything they use still
// lives; the server object among them is not destroyed.
void TNorvaleProcess::EndOfProcess() {
    work_.Stop();
    capture_.Stop();
    receiving_.Stop();
    instance_.EndOfProcess();
    // Capture may have written with no server object there to close it.
    try {
        stage_.CloseOutputFile();
    } catch (const std::exception&) {
        // Nobody is left to tell; the process ends either way.
    }
}

}  // namespace norvale
