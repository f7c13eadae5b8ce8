#include "shell/main_form.h"

#include <algorithm>

#include "common/errors.h"
#include "common/failure_report.h"
#include "common/system_error.h"
#include "common/pictures_win32.h"
#include "common/version.h"
#include "config/reg_placement.h"
#include "config/registry_config.h"
#include "shell/shell_resources.h"
#include "shell/tray_icon_model.h"
#include "shell/tray_menu_state.h"

namespace norvale {

namespace {

constexpr int kPictureSize = 16;
constexpr UINT kFirstProcessWindow = 50000;
// The tip follows the viewer's losses this often.
constexpr UINT_PTR kToolTipTimer = 1;
constexpr UINT kToolTipInterval = 1000;
// A trace document other than the first view was closed (lParam its window).
constexpr UINT WM_TRACE_DOCUMENT_CLOSED = WM_APP + 0x21;

// Until the user places it, the frame takes this share of its screen's work
// area, centred: room for the trace window's every column.
constexpr int kFirstOpenPercent = 85;

RECT FirstOpenBounds() {
    RECT area{};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
    const int width = (area.right - area.left) * kFirstOpenPercent / 100;
    const int height = (area.bottom - area.top) * kFirstOpenPercent / 100;
    const int left = area.left + (area.right - area.left - width) / 2;
    const int top = area.top + (area.bottom - area.top - height) / 2;
    return RECT{left, top, left + width, top + height};
}

// The name of a path's file, for a saved trace's caption.
std::wstring FileNameOf(const std::wstring& path) {
    const size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

// Positions in the picture strip of the command set.
enum CommandPicture { kCloseImage = 0, kPropertiesImage, kShowDebugWindowImage, kAboutImage, kFlushImage };

UniqueIcon LoadProgramIcon(int size) {
    return UniqueIcon(static_cast<HICON>(
        LoadImageA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDI_NORVALE), IMAGE_ICON, size, size, 0)));
}

std::string FormCaption() {
    // The caption template "brantwick Norvale %s" with the short version.
    return "brantwick Norvale " + ShortVersionText(OwnFileVersion());
}

// Clears the flag however the scope ends.
class TFlagScope {
public:
    explicit TFlagScope(bool& flag) : flag_(flag) { flag_ = true; }
    ~TFlagScope() { flag_ = false; }
    TFlagScope(const TFlagScope&) = delete;
    TFlagScope& operator=(const TFlagScope&) = delete;

private:
    bool& flag_;
};

}  // namespace

// `reg_Config` and `reg_Placement`: the frame's placement under the
// program's key, "DebugWindow", in the user's hive.
class TMainFormPlacement {
public:
    explicit TMainFormPlacement(const std::string& configPath) {
        reg_Config.SetApplicationName("Norvale");
        reg_Config.SetCompanyName("brantwick");
        reg_Config.SetUser(true);
        if (!configPath.empty()) reg_Config.SetPath(configPath);
        reg_Placement.SetRegistry(&reg_Config);
        reg_Placement.SetKey("DebugWindow");
        reg_Placement.SetStyle(TPlacementStyle::psByUser);
    }

    void Restore(HWND window) {
        TWin32PlacementWindow placed(window);
        reg_Placement.SetWindow(&placed);
        reg_Placement.RestorePlacement();
    }
    void Save(HWND window) {
        TWin32PlacementWindow placed(window);
        reg_Placement.SetWindow(&placed);
        reg_Placement.SavePlacement();
    }

private:
    TRegistryConfig reg_Config;
    TRegPlacement reg_Placement;
};

TMainForm::TMainForm(TServerInstance& instance, TSessionRegistry& registry, IShellPrompts& prompts,
                     TTraceStore& traceStore, TShellHooks hooks, const std::string& configPath)
    : instance_(instance),
      registry_(registry),
      prompts_(prompts),
      traceStore_(traceStore),
      hooks_(std::move(hooks)),
      configPath_(configPath.empty() ? "brantwick\\Norvale" : configPath),
      placement_(std::make_unique<TMainFormPlacement>(configPath)) {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_BAR_CLASSES};
    InitCommonControlsEx(&controls);
    commandPictures_ = LoadPictureStrip(IDB_COMMANDS, kPictureSize, GetSysColor(COLOR_MENU));
    bigIcon_ = LoadProgramIcon(GetSystemMetrics(SM_CXICON));
    smallIcon_ = LoadProgramIcon(GetSystemMetrics(SM_CXSMICON));
    UniqueMenu mainMenu(LoadMenuA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDM_MAINMENU)));
    const RECT bounds = FirstOpenBounds();
    Create("TMainForm", 0, "", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, bounds.left, bounds.top,
           bounds.right - bounds.left, bounds.bottom - bounds.top, nullptr, mainMenu.get());
    // The window owns its menu from here on.
    mainMenu.release();
    FormCreate();
}

// The trace windows save their settings before the frame takes them along;
// the frame and its tool bar go before the pictures they show.
TMainForm::~TMainForm() {
    traceForms_.clear();
    DestroyHandle();
}

void TMainForm::FillClass(WNDCLASSEXA& windowClass) {
    // Behind the tool bar; the client area paints its own.
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
}

void TMainForm::FormCreate() {
    SetWindowTextA(Handle(), FormCaption().c_str());
    SendMessageA(Handle(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(bigIcon_.get()));
    SendMessageA(Handle(), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(smallIcon_.get()));
    CreateToolBar();
    CLIENTCREATESTRUCT client{nullptr, kFirstProcessWindow};
    mdiClient_ = CreateWindowExA(WS_EX_CLIENTEDGE, "MDICLIENT", nullptr,
                                 WS_CHILD | WS_CLIPCHILDREN | WS_VSCROLL | WS_HSCROLL | WS_VISIBLE, 0, 0, 0, 0,
                                 Handle(), nullptr, GetModuleHandleA(nullptr), &client);
    FormResize();
    // Made now, shown or not, so that the rows it shows are all there when
    // the user first looks.
    AddTraceDocument(TTraceDocument{L"Trace", &traceStore_, {}, true});
    CreateTrayMenu();

    trayIcon_.SetIcon(smallIcon_.get());
    UpdateToolTip();
    SetTimer(Handle(), kToolTipTimer, kToolTipInterval, nullptr);
    trayIcon_.OnDblClick = [this] { ac_FlushOutputFileExecute(); };
    trayIcon_.OnRightClick = [this](int x, int y) { TrayIcon1RightClick(x, y); };
    trayIcon_.SetActive(true);
}

void TMainForm::CreateToolBar() {
    toolBar_ = CreateWindowExA(0, TOOLBARCLASSNAMEA, nullptr,
                               WS_CHILD | WS_VISIBLE | TBSTYLE_FLAT | TBSTYLE_LIST | TBSTYLE_TOOLTIPS | CCS_TOP, 0, 0,
                               0, 0, Handle(), nullptr, GetModuleHandleA(nullptr), nullptr);
    SendMessageA(toolBar_, TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON), 0);
    SendMessageA(toolBar_, TB_SETEXTENDEDSTYLE, 0, TBSTYLE_EX_MIXEDBUTTONS);
    toolBarImages_.reset(ImageList_Create(kPictureSize, kPictureSize, ILC_COLOR32, 1, 0));
    auto spawnPicture = LoadPictureStrip(IDB_SPAWN, kPictureSize);
    ImageList_Add(toolBarImages_.get(), static_cast<HBITMAP>(spawnPicture.front().get()), nullptr);
    SendMessageA(toolBar_, TB_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(toolBarImages_.get()));
    TBBUTTON spawn{};
    spawn.iBitmap = 0;
    spawn.idCommand = ID_MU_FILESPAWN;
    spawn.fsState = TBSTATE_ENABLED;
    spawn.fsStyle = BTNS_BUTTON | BTNS_AUTOSIZE | BTNS_SHOWTEXT;
    spawn.iString = reinterpret_cast<INT_PTR>("Spawn");
    SendMessageA(toolBar_, TB_ADDBUTTONSA, 1, reinterpret_cast<LPARAM>(&spawn));
    SendMessageA(toolBar_, TB_AUTOSIZE, 0, 0);
}

void TMainForm::CreateTrayMenu() {
    mu_Tray_.reset(CreatePopupMenu());
    const auto add = [this](UINT command, const char* caption, int picture) {
        MENUITEMINFOA item{};
        item.cbSize = sizeof item;
        item.fMask = MIIM_ID | MIIM_STRING | MIIM_BITMAP | MIIM_FTYPE;
        item.fType = MFT_STRING;
        item.wID = command;
        item.dwTypeData = const_cast<char*>(caption);
        item.hbmpItem = static_cast<HBITMAP>(commandPictures_[static_cast<size_t>(picture)].get());
        InsertMenuItemA(mu_Tray_.get(), GetMenuItemCount(mu_Tray_.get()), TRUE, &item);
    };
    const auto separator = [this] { AppendMenuA(mu_Tray_.get(), MF_SEPARATOR, 0, nullptr); };
    add(ID_AC_FLUSHOUTPUTFILE, "Flush output file", kFlushImage);
    add(ID_AC_SHOWDEBUGWINDOW, "Show debug window", kShowDebugWindowImage);
    separator();
    add(ID_AC_PROPERTIES, "Properties", kPropertiesImage);
    add(ID_AC_ABOUT, "About", kAboutImage);
    separator();
    add(ID_AC_CLOSE, "Close", kCloseImage);
    SetMenuDefaultItem(mu_Tray_.get(), ID_AC_FLUSHOUTPUTFILE, FALSE);
}

// The message loop runs these commands outside any window procedure, whose
// catch would show a failure: here it is shown, and the loop goes on serving.
bool TMainForm::PreTranslateMessage(MSG& message) {
    try {
        for (const auto& form : traceForms_) {
            if (form->PreTranslateMessage(message)) return true;
        }
        return TranslateMDISysAccel(mdiClient_, &message) != 0;
    } catch (const std::exception& failure) {
        prompts_.ShowFailure(Handle(), failure);
        return true;
    }
}

void TMainForm::FormResize() {
    SendMessageA(toolBar_, TB_AUTOSIZE, 0, 0);
    RECT client{};
    RECT bar{};
    GetClientRect(Handle(), &client);
    GetWindowRect(toolBar_, &bar);
    const int top = bar.bottom - bar.top;
    MoveWindow(mdiClient_, 0, top, client.right, client.bottom - top > 0 ? client.bottom - top : 0, TRUE);
}

void TMainForm::ShowDebugWindow() {
    if (!IsWindowVisible(Handle())) FormShow();
    if (!IsWindowVisible(TraceWindow())) ShowWindow(TraceWindow(), SW_SHOW);
    SetForegroundWindow(Handle());
}

void TMainForm::ac_ShowDebugWindowExecute() {
    ShowDebugWindow();
    TakeForUser();
    TraceForm().BringToFront();
}

void TMainForm::AddTraceDocument(TTraceDocument document) {
    TTraceFormHooks hooks;
    hooks.ReadProcessStatus = hooks_.ReadProcessStatus;
    hooks.NewView = [this] { btn_NewViewClick(); };
    hooks.Open = [this] { btn_OpenClick(); };
    const HWND frame = Handle();
    hooks.Closed = [frame](HWND closed) {
        PostMessageW(frame, WM_TRACE_DOCUMENT_CLOSED, 0, reinterpret_cast<LPARAM>(closed));
    };
    traceForms_.push_back(std::make_unique<TTraceForm>(mdiClient_, std::move(document), prompts_, configPath_, hooks));
    if (traceForms_.size() > 1) traceForms_.back()->BringToFront();
}

// Another view of the live rows, with filters, highlight and marks of its own.
void TMainForm::btn_NewViewClick() { AddTraceDocument(TTraceDocument{L"Trace " + std::to_wstring(nextView_++), &traceStore_, {}, false}); }

// The file is opened here, so that a file that cannot be read is said at
// once; its rows are read by the document's own thread.
void TMainForm::btn_OpenClick() {
    const auto path = prompts_.ChooseTraceFileToOpen(Handle());
    if (!path) return;
    UniqueFile file(CreateFileW(path->c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        const DWORD error = GetLastError();
        throw EInOutError("cannot open the trace file: " + SystemErrorText(error), error);
    }
    AddTraceDocument(TTraceDocument{FileNameOf(*path), nullptr, std::move(file), false});
}

void TMainForm::TraceDocumentClosed(HWND document) {
    const auto closed = std::find_if(traceForms_.begin() + 1, traceForms_.end(),
                                     [document](const auto& form) { return form->Handle() == document; });
    if (closed != traceForms_.end()) traceForms_.erase(closed);
}

void TMainForm::FormShow() {
    placement_->Restore(Handle());
    if (!IsWindowVisible(Handle())) ShowWindow(Handle(), SW_SHOWNORMAL);
}

void TMainForm::FormHide() {
    ShowWindow(Handle(), SW_HIDE);
    placement_->Save(Handle());
    if (heldByUser_) hooks_.HeldByUser(heldByUser_ = false);
}

// Decided here, where the user acts, and never by when the frame appeared.
void TMainForm::TakeForUser() {
    if (!heldByUser_) hooks_.HeldByUser(heldByUser_ = true);
}

void TMainForm::FormClose() {
    if (!FClosing) {
        // The close box only hides the frame; its process windows stay.
        FormHide();
        return;
    }
    // Going ahead ends the message loop; the window goes with the program.
    // The menu bar's own loop, left running after a lone Alt, would take the
    // loop's end for itself and go on until Escape.
    EndMenu();
    if (!hooks_.RequestTerminate()) FClosing = false;
}

void TMainForm::TrayIcon1RightClick(int x, int y) {
    SetForegroundWindow(Handle());
    mu_TrayPopup();
    Execute(prompts_.TrackTrayMenu(Handle(), mu_Tray_.get(), POINT{x, y}));
}

void TMainForm::mu_TrayPopup() {
    // Published values only: the main thread waits on no lock.
    TrayMenuState state = ComputeTrayMenuState(registry_.OpenSessionCount(), FDialogActive, instance_.Exists(),
                                               hooks_.OutputFileOpen());
    const auto enable = [this](UINT command, bool on) {
        EnableMenuItem(mu_Tray_.get(), command, MF_BYCOMMAND | (on ? MF_ENABLED : MF_GRAYED));
    };
    enable(ID_AC_FLUSHOUTPUTFILE, state.FlushOutputFileEnabled);
    enable(ID_AC_SHOWDEBUGWINDOW, state.ShowDebugWindowEnabled);
    enable(ID_AC_PROPERTIES, state.PropertiesEnabled);
    enable(ID_AC_ABOUT, state.AboutEnabled);
    enable(ID_AC_CLOSE, state.CloseEnabled);
    MENUITEMINFOA close{};
    close.cbSize = sizeof close;
    close.fMask = MIIM_STRING;
    close.dwTypeData = state.CloseCaption.data();
    SetMenuItemInfoA(mu_Tray_.get(), ID_AC_CLOSE, FALSE, &close);
}

void TMainForm::Execute(UINT command) {
    switch (command) {
        case ID_AC_PROPERTIES: ac_PropertiesExecute(); break;
        case ID_AC_SHOWDEBUGWINDOW: ac_ShowDebugWindowExecute(); break;
        case ID_AC_ABOUT: ac_AboutExecute(); break;
        case ID_AC_CLOSE: ac_CloseExecute(); break;
        case ID_AC_FLUSHOUTPUTFILE: ac_FlushOutputFileExecute(); break;
        case ID_MU_FILESPAWN: btn_SpawnProcessClick(); break;
        default: break;
    }
}

void TMainForm::ShowModal(TShellDialog dialog) {
    TFlagScope active(FDialogActive);
    prompts_.ShowDialog(Handle(), dialog);
}

void TMainForm::ac_PropertiesExecute() {
    if (!FDialogActive) ShowModal(TShellDialog::Properties);
}

void TMainForm::ac_AboutExecute() {
    if (!FDialogActive) ShowModal(TShellDialog::About);
}

void TMainForm::ac_CloseExecute() {
    if (FDialogActive) return;
    FClosing = true;
    SendMessageA(Handle(), WM_CLOSE, 0, 0);
}

void TMainForm::ac_FlushOutputFileExecute() { hooks_.FlushOutputFile(); }

void TMainForm::btn_SpawnProcessClick() {
    const auto program = prompts_.ChooseProgramToSpawn(Handle());
    if (!program) return;
    TakeForUser();
    hooks_.SpawnProcess(*program);
}

namespace {

constexpr UINT WM_WORK_FAILED = WM_APP + 0x20;

}  // namespace

void TMainForm::UpdateToolTip() { trayIcon_.SetToolTip(TrayToolTip(hooks_.ReadProcessStatus().viewerUndelivered)); }

void TMainForm::PostFailure(HWND mainWindow, const std::string& text) {
    auto posted = std::make_unique<std::string>(text);
    if (PostMessageA(mainWindow, WM_WORK_FAILED, 0, reinterpret_cast<LPARAM>(posted.get()))) {
        posted.release();
    } else {
        ReportFailure("Norvale", text);
    }
}

LRESULT TMainForm::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_TRACE_DOCUMENT_CLOSED:
            TraceDocumentClosed(reinterpret_cast<HWND>(lParam));
            return 0;
        case WM_WORK_FAILED: {
            const std::unique_ptr<std::string> text(reinterpret_cast<std::string*>(lParam));
            ReportFailure("Norvale", *text);
            return 0;
        }
        case WM_COMMAND:
            if (lParam == 0 || reinterpret_cast<HWND>(lParam) == toolBar_) {
                Execute(LOWORD(wParam));
                return 0;
            }
            break;
        case WM_SIZE:
            FormResize();
            return 0;
        case WM_QUERYENDSESSION:
            hooks_.SessionMayEnd();
            return TRUE;
        case WM_ENDSESSION:
            if (wParam != FALSE) hooks_.SessionEnds();
            return 0;
        case WM_TIMER:
            if (wParam == kToolTipTimer) {
                UpdateToolTip();
                return 0;
            }
            break;
        case WM_CLOSE:
            FormClose();
            return 0;
        default: break;
    }
    return TWindow::HandleMessage(message, wParam, lParam);
}

LRESULT TMainForm::DefaultHandling(UINT message, WPARAM wParam, LPARAM lParam) {
    return DefFrameProcA(Handle(), mdiClient_, message, wParam, lParam);
}

}  // namespace norvale
