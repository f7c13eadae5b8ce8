#include "config/config_form_win32.h"

#include <commctrl.h>
#include <shellapi.h>

#include "common/open_file_dialog_win32.h"
#include "config/config_resources.h"
#include "config/registry_values.h"

namespace norvale {

namespace {

constexpr UINT WM_REFRESH_STATUS = WM_APP + 10;
// The collector and the output file's readers come and go on their own, and
// an address may be taken by another program: their states are looked at
// each second.
constexpr UINT_PTR kStateTimer = 1;
constexpr UINT kStateInterval = 1000;
constexpr const char* kCodeSiteSite = "http://www.raize.com/";

// The check box of each flag, in the order of `ConfigFlag`.
constexpr int kFlagBoxes[kConfigFlagCount] = {
    IDC_TOCLIENTS,       IDC_TOCONSOLE,       IDC_TOMONO,          IDC_TOFILE,           IDC_TOCODESITE,
    IDC_FLUSHOUTPUTFILE, IDC_INCLUDEDATETIME, IDC_INCLUDEPROJECT,  IDC_INCLUDEMODULE,    IDC_INCLUDECLASS,
    IDC_INCLUDEMACHINE,  IDC_INCLUDEPROCESSID, IDC_INCLUDETHREADID, IDC_INCLUDECODE,
};

// The check box of each flag of the `Options` key.
constexpr struct {
    int box;
    bool OptionsSettings::*flag;
} kOptionBoxes[] = {
    {IDC_TOWINDOW, &OptionsSettings::ToWindow},
    {IDC_CAPTUREDEBUGOUTPUT, &OptionsSettings::CaptureDebugOutput},
    {IDC_CAPTUREGLOBAL, &OptionsSettings::CaptureGlobal},
    {IDC_UNICODENAMES, &OptionsSettings::UnicodeNames},
    {IDC_TOSYSLOG, &OptionsSettings::ToSyslog},
    {IDC_LISTENSYSLOG, &OptionsSettings::ListenSyslog},
    {IDC_FILEDAILY, &OptionsSettings::FileDaily},
};

// The numbers of the `Options` key, stored as typed.
constexpr struct {
    int box;
    const char* value;
    uint32_t OptionsSettings::*number;
} kOptionNumbers[] = {
    {IDC_WINDOWLINES, kWindowLinesValue, &OptionsSettings::WindowLines},
    {IDC_FILEMAXMB, kFileMaxMBValue, &OptionsSettings::FileMaxMB},
    {IDC_FILEKEEP, kFileKeepValue, &OptionsSettings::FileKeep},
};

bool IsNumberBox(int id) {
    for (const auto& number : kOptionNumbers) {
        if (number.box == id) return true;
    }
    return false;
}

// The encodings as the list offers them, in the order of `FileEncoding`.
constexpr const char* kFileEncodingChoices[] = {"ANSI (system code page)", "UTF-8"};

bool IsFlagBox(int id) {
    for (int box : kFlagBoxes) {
        if (box == id) return true;
    }
    for (const auto& option : kOptionBoxes) {
        if (option.box == id) return true;
    }
    return false;
}

bool Checked(HWND box) { return SendMessageA(box, BM_GETCHECK, 0, 0) == BST_CHECKED; }

void SetChecked(HWND box, bool on) { SendMessageA(box, BM_SETCHECK, on ? BST_CHECKED : BST_UNCHECKED, 0); }

std::string TextOf(HWND control) {
    std::string text(static_cast<size_t>(GetWindowTextLengthA(control)) + 1, '\0');
    text.resize(static_cast<size_t>(GetWindowTextA(control, text.data(), static_cast<int>(text.size()))));
    return text;
}

}  // namespace

std::optional<std::string> ChooseOutputFile(HWND owner) {
    return ChooseFileToOpen(owner, {"Text files (*.txt)\0*.txt\0All files (*.*)\0*.*\0"});
}

TNorvaleConfigForm::TNorvaleConfigForm(HWND owner, RegKey root, std::string subkey, TConfigFormHooks hooks,
                                       OptionsLocation options)
    : TTabbedForm(owner, "Norvale Properties", 352, 283,
                  {{"General", IDD_CONFIG_GENERAL}, {"Status", IDD_CONFIG_STATUS}, {"Options", IDD_CONFIG_OPTIONS},
                   {"Forwarding", IDD_CONFIG_FORWARDING}, {"Receiving", IDD_CONFIG_RECEIVING},
                   {"Output file", IDD_CONFIG_OUTPUTFILE}}),
      root_(root),
      subkey_(std::move(subkey)),
      options_(std::move(options)),
      hooks_(std::move(hooks)),
      window_(Handle()) {
    for (const char* choice : kFileEncodingChoices) {
        SendMessageA(Control(IDC_FILEENCODING), CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(choice));
    }
    FormCreate();
    SetTimer(Handle(), kStateTimer, kStateInterval, nullptr);
    if (hooks_.MonoUnavailable) {
        EnableWindow(Control(IDC_TOMONO), FALSE);
        SetWindowTextA(Control(IDC_TOMONO), "Monochrome screen support is not installed");
    }
}

void TNorvaleConfigForm::LoadSettings() {
    // Filling the boxes is no change of the user's.
    loading_ = true;
    const ConfigValues values = LoadConfigValues(root_, subkey_);
    for (int i = 0; i < kConfigFlagCount; ++i) SetChecked(Control(kFlagBoxes[i]), values.flags[i]);
    SetWindowTextA(Control(IDC_DEBUGFILENAME), values.fileName.c_str());
    LoadOptions();
    loading_ = false;
    cb_ToFileClick();
    cb_CaptureDebugOutputClick();
    cb_ToSyslogClick();
    cb_ListenSyslogClick();
    RefreshStatus();
}

ConfigValues TNorvaleConfigForm::ShownValues() const {
    ConfigValues values;
    for (int i = 0; i < kConfigFlagCount; ++i) values.flags[i] = Checked(Control(kFlagBoxes[i]));
    values.fileName = TextOf(Control(IDC_DEBUGFILENAME));
    return values;
}

// The numbers as the reader makes them of the stored texts, so that each box
// shows what is obeyed.
void TNorvaleConfigForm::LoadOptions() {
    const OptionsSettings options = ReadOptionsSettings(options_);
    for (const auto& option : kOptionBoxes) SetChecked(Control(option.box), options.*option.flag);
    for (const auto& number : kOptionNumbers) {
        SetWindowTextA(Control(number.box), std::to_string(options.*number.number).c_str());
    }
    SendMessageA(Control(IDC_FILEENCODING), CB_SETCURSEL, static_cast<WPARAM>(options.fileEncoding), 0);
    SetWindowTextA(Control(IDC_SYSLOGSERVER), options.SyslogServer.c_str());
    SetWindowTextA(Control(IDC_LISTENADDRESS), options.ListenAddress.c_str());
    SetWindowTextA(Control(IDC_LISTENALLOW), options.ListenAllow.c_str());
}

// The numbers as typed: their bounds are the reader's. A flag the page has no
// box for is written back as stored.
void TNorvaleConfigForm::SaveOptions() const {
    OptionsSettings shown = ReadOptionsSettings(options_);
    for (const auto& option : kOptionBoxes) shown.*option.flag = Checked(Control(option.box));
    WriteOptionsFlags(options_, shown);
    for (const auto& number : kOptionNumbers) {
        WriteRegString(options_.root, options_.subkey, number.value, TextOf(Control(number.box)));
    }
    const bool utf8 = SendMessageA(Control(IDC_FILEENCODING), CB_GETCURSEL, 0, 0) ==
                      static_cast<LRESULT>(FileEncoding::Utf8);
    WriteRegString(options_.root, options_.subkey, kFileEncodingValue,
                   FileEncodingText(utf8 ? FileEncoding::Utf8 : FileEncoding::Ansi));
    WriteRegString(options_.root, options_.subkey, kSyslogServerValue, TextOf(Control(IDC_SYSLOGSERVER)));
    WriteRegString(options_.root, options_.subkey, kListenAddressValue, TextOf(Control(IDC_LISTENADDRESS)));
    WriteRegString(options_.root, options_.subkey, kListenAllowValue, TextOf(Control(IDC_LISTENALLOW)));
}

// Both keys before the refresh, which reads them.
void TNorvaleConfigForm::SaveSettings() {
    SaveConfigValues(root_, subkey_, ShownValues());
    SaveOptions();
    hooks_.RefreshProperties();
}

void TNorvaleConfigForm::OnModified() {
    if (!loading_) DataChanged();
}

void TNorvaleConfigForm::cb_ToFileClick() {
    OnModified();
    const BOOL on = Checked(Control(IDC_TOFILE));
    EnableWindow(Control(IDC_DEBUGFILENAME), on);
    EnableWindow(Control(IDC_BROWSE), on);
}

// Global capture comes only with the session's.
void TNorvaleConfigForm::cb_CaptureDebugOutputClick() {
    OnModified();
    EnableWindow(Control(IDC_CAPTUREGLOBAL), Checked(Control(IDC_CAPTUREDEBUGOUTPUT)));
}

void TNorvaleConfigForm::cb_ToSyslogClick() {
    OnModified();
    EnableWindow(Control(IDC_SYSLOGSERVER), Checked(Control(IDC_TOSYSLOG)));
}

void TNorvaleConfigForm::cb_ListenSyslogClick() {
    OnModified();
    EnableWindow(Control(IDC_LISTENADDRESS), Checked(Control(IDC_LISTENSYSLOG)));
    EnableWindow(Control(IDC_LISTENALLOW), Checked(Control(IDC_LISTENSYSLOG)));
}

void TNorvaleConfigForm::btn_BrowseClick() {
    const auto chosen = hooks_.BrowseForFile(Handle());
    if (!chosen) return;
    OnModified();
    SetWindowTextA(Control(IDC_DEBUGFILENAME), chosen->c_str());
}

void TNorvaleConfigForm::SpeedButton2Click() {
    SaveSettings();
    hooks_.RequestTerminate();
}

void TNorvaleConfigForm::RequestRefreshStatus() {
    if (!refreshAsked_.exchange(true)) PostMessageA(window_, WM_REFRESH_STATUS, 0, 0);
}

void TNorvaleConfigForm::RefreshStatus() {
    refreshAsked_ = false;
    const SessionStatus status = hooks_.Status();
    SetWindowTextA(Control(IDC_CONNECTIONS), SessionCountText(status.openSessionCount).c_str());
    const HWND list = Control(IDC_SESSIONS);
    SendMessageA(list, WM_SETREDRAW, FALSE, 0);
    SendMessageA(list, LB_RESETCONTENT, 0, 0);
    for (const std::string& name : status.names) {
        SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name.c_str()));
    }
    SendMessageA(list, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(list, nullptr, TRUE);
    SetWindowTextW(Control(IDC_CAPTURESTATE), hooks_.CaptureProblem().c_str());
    ShowStates();
}

void TNorvaleConfigForm::ShowStates() {
    for (const auto& [label, problem] : {std::pair{IDC_FORWARDSTATE, hooks_.ForwardProblem()},
                                         std::pair{IDC_RECEIVESTATE, hooks_.ReceiveProblem()},
                                         std::pair{IDC_FILESTATE, hooks_.FileProblem()}}) {
        if (problem != TextOf(Control(label))) SetWindowTextA(Control(label), problem.c_str());
    }
}

bool TNorvaleConfigForm::PageCommand(int id, int code) {
    if (id == IDC_TOFILE && code == BN_CLICKED) {
        cb_ToFileClick();
    } else if (id == IDC_CAPTUREDEBUGOUTPUT && code == BN_CLICKED) {
        cb_CaptureDebugOutputClick();
    } else if (id == IDC_TOSYSLOG && code == BN_CLICKED) {
        cb_ToSyslogClick();
    } else if (id == IDC_LISTENSYSLOG && code == BN_CLICKED) {
        cb_ListenSyslogClick();
    } else if (IsFlagBox(id) && code == BN_CLICKED) {
        OnModified();
    } else if ((id == IDC_DEBUGFILENAME || IsNumberBox(id) || id == IDC_SYSLOGSERVER || id == IDC_LISTENADDRESS ||
                id == IDC_LISTENALLOW) &&
               code == EN_CHANGE) {
        OnModified();
    } else if (id == IDC_FILEENCODING && code == CBN_SELCHANGE) {
        OnModified();
    } else if (id == IDC_BROWSE && code == BN_CLICKED) {
        btn_BrowseClick();
    } else if (id == IDC_KILLNORVALE && code == BN_CLICKED) {
        SpeedButton2Click();
    } else {
        return false;
    }
    return true;
}

bool TNorvaleConfigForm::PageNotify(const NMHDR& header) {
    if (header.idFrom == IDC_CODESITELINK && (header.code == NM_CLICK || header.code == NM_RETURN)) {
        ShellExecuteA(Handle(), "open", kCodeSiteSite, nullptr, nullptr, SW_SHOWNORMAL);
        return true;
    }
    return false;
}

bool TNorvaleConfigForm::FormMessage(UINT message, WPARAM wParam, LPARAM) {
    if (message == WM_TIMER && wParam == kStateTimer) {
        ShowStates();
    } else if (message == WM_REFRESH_STATUS) {
        RefreshStatus();
    } else {
        return false;
    }
    return true;
}

}  // namespace norvale
