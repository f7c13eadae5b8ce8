#include "debugger/process_form.h"

#include <commctrl.h>

#include <algorithm>
#include <utility>

#include "common/call_profile.h"
#include "common/errors.h"
#include "common/utf8_text.h"
#include "debugger/debugger_resources.h"

namespace norvale {

namespace {

constexpr int kPictureSize = 16;
constexpr int btn_HaltOnEvent = 1;
constexpr int btn_Continue = 2;
constexpr int btn_SaveDump = 3;
constexpr int kSplitterWidth = 5;
constexpr int kMinimumPanelWidth = 20;
// While events pour in, the window takes them at this pace instead of being
// woken for each: under Wine every wake is a round trip to the server, and
// every refresh of the list (its count, scroll bar and scrolling) tens of
// milliseconds of the main thread.
constexpr UINT_PTR kTakeTimer = 1;
constexpr UINT kTakeEveryMs = 200;
// The second half of telling the list of new rows, in a message of its own so
// that the frame answers in between.
constexpr UINT WM_SCROLL_LIST = WM_DEBUG_EVENT + 1;

UniqueGdiObject CourierNew8() {
    const int height = -MulDiv(8, GetDeviceCaps(UniqueWindowDc().get(), LOGPIXELSY), 72);
    // Any character set, so that the system may fill in what Courier New
    // lacks (other scripts) from another font.
    return UniqueGdiObject(CreateFontW(height, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                                       OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                                       FIXED_PITCH | FF_MODERN, L"Courier New"));
}

}  // namespace

TProcessForm::TProcessForm(IProcessWindowHost& host, const std::string& captionArgument, bool unicodeNames,
                           std::function<void(TProcessForm&)> closed)
    : host_(host), closed_(std::move(closed)), model_(unicodeNames), panel1Width_(Scaled(185)) {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_BAR_CLASSES | ICC_LISTVIEW_CLASSES | ICC_TREEVIEW_CLASSES};
    InitCommonControlsEx(&controls);
    il_Views.reset(ImageList_Create(kPictureSize, kPictureSize, ILC_COLOR32, 7, 0));
    for (const auto& picture : LoadPictureStrip(IDB_VIEWS, kPictureSize)) {
        ImageList_Add(il_Views.get(), static_cast<HBITMAP>(picture.get()), nullptr);
    }
    icon_.reset(ImageList_GetIcon(il_Views.get(), static_cast<int>(ViewIcon::Process), ILD_NORMAL));
    listFont_ = CourierNew8();
    Create("TProcessForm", WS_EX_MDICHILD, ("Process " + captionArgument).c_str(),
           WS_CHILD | WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN | WS_VISIBLE, CW_USEDEFAULT, CW_USEDEFAULT, Scaled(590),
           Scaled(383), host.DocumentArea(), nullptr);
    // The thread wakes the window by a posted message, which never reaches a
    // window that is gone: the hand-over is stopped before it goes.
    const HWND window = Handle();
    handOver_ = std::make_shared<TDebugEventHandOver>(
        [window] { return PostMessageA(window, WM_DEBUG_EVENT, 0, 0) != FALSE; });
    FormCreate();
    host.ShowDebugWindow();
    SendMessageA(host.DocumentArea(), WM_MDIACTIVATE, reinterpret_cast<WPARAM>(window), 0);
}

TProcessForm::~TProcessForm() {
    if (handOver_) handOver_->Stop();
    if (Handle() != nullptr) SendMessageA(GetParent(Handle()), WM_MDIDESTROY, reinterpret_cast<WPARAM>(Handle()), 0);
}

void TProcessForm::FillClass(WNDCLASSEXA& windowClass) {
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
}

void TProcessForm::FormCreate() {
    SendMessageA(Handle(), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon_.get()));
    CreateToolbar971();
    CreateTree();
    CreateList();
    Layout();
}

void TProcessForm::CreateToolbar971() {
    Toolbar971 = CreateWindowExA(0, TOOLBARCLASSNAMEA, nullptr,
                                 WS_CHILD | WS_VISIBLE | TBSTYLE_FLAT | TBSTYLE_LIST | CCS_TOP, 0, 0, 0, 0, Handle(),
                                 nullptr, GetModuleHandleA(nullptr), nullptr);
    SendMessageA(Toolbar971, TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON), 0);
    SendMessageA(Toolbar971, TB_SETBITMAPSIZE, 0, MAKELPARAM(0, 0));
    const int width = Scaled(109);
    SendMessageA(Toolbar971, TB_SETBUTTONWIDTH, 0, MAKELPARAM(width, width));
    TBBUTTON buttons[2]{};
    buttons[0].iBitmap = I_IMAGENONE;
    buttons[0].idCommand = btn_HaltOnEvent;
    buttons[0].fsState = TBSTATE_ENABLED;
    buttons[0].fsStyle = BTNS_CHECK;
    buttons[0].iString = reinterpret_cast<INT_PTR>("Halt on Event");
    buttons[1].iBitmap = I_IMAGENONE;
    buttons[1].idCommand = btn_Continue;
    buttons[1].fsState = 0;
    buttons[1].fsStyle = BTNS_BUTTON;
    buttons[1].iString = reinterpret_cast<INT_PTR>("Continue");
    SendMessageA(Toolbar971, TB_ADDBUTTONSA, 2, reinterpret_cast<LPARAM>(buttons));
    // Its ellipsis is no character of every code page.
    TBBUTTON saveDump{};
    saveDump.iBitmap = I_IMAGENONE;
    saveDump.idCommand = btn_SaveDump;
    saveDump.fsStyle = BTNS_BUTTON;
    saveDump.iString = reinterpret_cast<INT_PTR>(L"Save dump\u2026");
    SendMessageW(Toolbar971, TB_ADDBUTTONSW, 1, reinterpret_cast<LPARAM>(&saveDump));
    SendMessageA(Toolbar971, TB_SETBUTTONSIZE, 0, MAKELPARAM(width, Scaled(25)));
    SendMessageA(Toolbar971, TB_AUTOSIZE, 0, 0);
}

void TProcessForm::CreateTree() {
    tv_Items = CreateWindowExW(WS_EX_CLIENTEDGE, WC_TREEVIEWW, nullptr,
                               WS_CHILD | WS_VISIBLE | TVS_HASLINES | TVS_HASBUTTONS | TVS_LINESATROOT |
                                   TVS_SHOWSELALWAYS,
                               0, 0, 0, 0, Handle(), nullptr, GetModuleHandleW(nullptr), nullptr);
    SendMessageA(tv_Items, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)), FALSE);
    SendMessageA(tv_Items, TVM_SETIMAGELIST, TVSIL_NORMAL, reinterpret_cast<LPARAM>(il_Views.get()));
    SendMessageA(tv_Items, TVM_SETINDENT, Scaled(19), 0);
    threadsNode_ = AddNode(TVI_ROOT, "Threads", ViewIcon::RootFolder);
    modulesNode_ = AddNode(TVI_ROOT, "Modules", ViewIcon::RootFolder);
    processesNode_ = AddNode(TVI_ROOT, "Processes", ViewIcon::RootFolder);
}

void TProcessForm::CreateList() {
    // Rows are kept by the model and handed to the list on demand, so a
    // flood of events costs the list nothing but its count.
    lv_Data = CreateWindowExW(WS_EX_CLIENTEDGE, WC_LISTVIEWW, nullptr,
                              WS_CHILD | WS_VISIBLE | LVS_REPORT | LVS_OWNERDATA | LVS_NOCOLUMNHEADER |
                                  LVS_SHAREIMAGELISTS | LVS_SHOWSELALWAYS,
                              0, 0, 0, 0, Handle(), nullptr, GetModuleHandleW(nullptr), nullptr);
    SendMessageA(lv_Data, WM_SETFONT, reinterpret_cast<WPARAM>(listFont_.get()), FALSE);
    SendMessageA(lv_Data, LVM_SETIMAGELIST, LVSIL_SMALL, reinterpret_cast<LPARAM>(il_Views.get()));
    LVCOLUMNA column{};
    column.mask = LVCF_WIDTH;
    column.cx = 100;
    SendMessageA(lv_Data, LVM_INSERTCOLUMNA, 0, reinterpret_cast<LPARAM>(&column));
}

HTREEITEM TProcessForm::AddNode(HTREEITEM parent, const std::string& text, ViewIcon icon) {
    std::wstring wide = Utf8ToWide(text);
    TVINSERTSTRUCTW insert{};
    insert.hParent = parent;
    insert.hInsertAfter = TVI_LAST;
    insert.item.mask = TVIF_TEXT | TVIF_IMAGE | TVIF_SELECTEDIMAGE;
    insert.item.pszText = wide.data();
    insert.item.iImage = static_cast<int>(icon);
    insert.item.iSelectedImage = static_cast<int>(icon);
    return reinterpret_cast<HTREEITEM>(SendMessageW(tv_Items, TVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&insert)));
}

void TProcessForm::Layout() {
    RECT client{};
    GetClientRect(Handle(), &client);
    SendMessageA(Toolbar971, TB_AUTOSIZE, 0, 0);
    RECT bar{};
    GetWindowRect(Toolbar971, &bar);
    const int top = bar.bottom - bar.top;
    const int height = std::max<int>(client.bottom - top, 0);
    panel1Width_ = std::clamp<int>(panel1Width_, kMinimumPanelWidth,
                                   std::max<int>(kMinimumPanelWidth, client.right - kSplitterWidth - kMinimumPanelWidth));
    MoveWindow(tv_Items, 0, top, panel1Width_, height, TRUE);
    const int left = panel1Width_ + kSplitterWidth;
    MoveWindow(lv_Data, left, top, std::max<int>(client.right - left, 0), height, TRUE);
    Panel2Resize();
}

void TProcessForm::Panel2Resize() { SendMessageA(lv_Data, LVM_SETCOLUMNWIDTH, 0, LVSCW_AUTOSIZE_USEHEADER); }

bool TProcessForm::OnSplitter(int x) const { return x >= panel1Width_ && x < panel1Width_ + kSplitterWidth; }

void TProcessForm::btn_HaltOnEventClick() {
    handOver_->SetHaltOnEvent(SendMessageA(Toolbar971, TB_ISBUTTONCHECKED, btn_HaltOnEvent, 0) != 0);
}

void TProcessForm::btn_ContinueClick() {
    handOver_->Continue();
    EnableHeldButtons(false);
}

void TProcessForm::btn_SaveDumpClick() {
    // The debugger thread writes it: it owns the held event, and a dump of
    // a large process takes long.
    if (const std::optional<std::wstring> path = host_.ChooseDumpFileToSave(Handle())) handOver_->RequestDump(*path);
}

void TProcessForm::EnableHeldButtons(bool held) {
    SendMessageA(Toolbar971, TB_ENABLEBUTTON, btn_Continue, held);
    SendMessageA(Toolbar971, TB_ENABLEBUTTON, btn_SaveDump, held);
}

void TProcessForm::WMDebugEvent() {
    if (!pacing_) pacing_ = SetTimer(Handle(), kTakeTimer, kTakeEveryMs, nullptr) != 0;
    TDebugEventHandOver::Batch batch;
    {
        const TStageTimer timer(CallStage::WindowTake);
        batch = handOver_->Take(pacing_);
    }
    if (batch.events.empty() && pacing_) {
        KillTimer(Handle(), kTakeTimer);
        pacing_ = false;
    }
    if (!batch.events.empty()) {
        {
            const TStageTimer timer(CallStage::WindowRows);
            ApplyBatch(batch.events);
        }
        const TStageTimer timer(CallStage::WindowList);
        // The thread decided whether to hold each event when it handed it
        // over; only the last one of a batch can be held.
        EnableHeldButtons(batch.events.back().halted);
        ShowNewRows();
    }
    if (batch.terminated && !terminated_) SetTerminated();
}

void TProcessForm::ShowNewRows() {
    // Under Wine the list redraws its scroll bar for a new count, and again as
    // it scrolls, each time tens of milliseconds: the two go in two messages.
    SendMessageA(lv_Data, LVM_SETITEMCOUNT, model_.Rows().size(), LVSICF_NOSCROLL);
    InvalidateRect(lv_Data, nullptr, FALSE);
    if (!PostMessageA(Handle(), WM_SCROLL_LIST, 0, 0)) ScrollToLastRow();
}

void TProcessForm::ScrollToLastRow() {
    const TStageTimer timer(CallStage::WindowList);
    const LRESULT count = SendMessageA(lv_Data, LVM_GETITEMCOUNT, 0, 0);
    if (count > 0) SendMessageA(lv_Data, LVM_ENSUREVISIBLE, count - 1, FALSE);
}

void TProcessForm::ApplyBatch(const std::vector<DebugEventCopy>& events) {
    for (const DebugEventCopy& copy : events) Apply(model_.Apply(copy));
    if (!treeFrozen_) return;
    for (size_t i = 0; i < grownRoots_.size(); ++i) {
        if (grownRoots_[i]) {
            SendMessageA(tv_Items, TVM_EXPAND, TVE_EXPAND,
                         reinterpret_cast<LPARAM>(Root(static_cast<TreeRoot>(i))));
        }
    }
    grownRoots_ = {};
    treeFrozen_ = false;
    SendMessageA(tv_Items, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(tv_Items, nullptr, TRUE);
}

HTREEITEM TProcessForm::Root(TreeRoot root) const {
    const HTREEITEM roots[] = {threadsNode_, modulesNode_, processesNode_};
    return roots[static_cast<int>(root)];
}

void TProcessForm::Apply(const EventView& view) {
    if (!view.node && !view.removedModule) return;
    // Under Wine the tree redraws and rescrolls for every node it gets: with
    // redrawing off it does so once for the batch.
    if (!treeFrozen_) {
        SendMessageA(tv_Items, WM_SETREDRAW, FALSE, 0);
        treeFrozen_ = true;
    }
    if (view.removedModule && *view.removedModule < moduleNodes_.size()) {
        SendMessageA(tv_Items, TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(moduleNodes_[*view.removedModule]));
        moduleNodes_.erase(moduleNodes_.begin() + static_cast<std::ptrdiff_t>(*view.removedModule));
    }
    if (!view.node) return;
    const HTREEITEM node = AddNode(Root(view.node->root), view.node->text, view.node->icon);
    for (const std::string& detail : view.node->details) AddNode(node, detail, ViewIcon::DelphiDetail);
    if (view.node->root == TreeRoot::Modules) moduleNodes_.push_back(node);
    grownRoots_[static_cast<size_t>(view.node->root)] = true;
}

void TProcessForm::SetTerminated() {
    terminated_ = true;
    char caption[1024] = {};
    GetWindowTextA(Handle(), caption, sizeof caption);
    SetWindowTextA(Handle(), (std::string(caption) + " - Terminated").c_str());
    EnableHeldButtons(false);
}

void TProcessForm::GetDispInfo(NMLVDISPINFOW& info) const {
    const auto index = static_cast<size_t>(info.item.iItem);
    if (index >= model_.Rows().size()) return;
    const EventRow& row = model_.Rows()[index];
    if ((info.item.mask & LVIF_TEXT) != 0 && info.item.pszText != nullptr && info.item.cchTextMax > 0) {
        // Converted only here, for the rows the list shows or is asked for.
        const std::wstring text = Utf8ToWide(row.text);
        const size_t room = static_cast<size_t>(info.item.cchTextMax) - 1;
        size_t length = std::min(room, text.size());
        // A cut between the halves of a surrogate pair would leave half a character.
        if (length < text.size() && length > 0 && IS_HIGH_SURROGATE(text[length - 1])) --length;
        std::copy_n(text.data(), length, info.item.pszText);
        info.item.pszText[length] = L'\0';
    }
    if ((info.item.mask & LVIF_IMAGE) != 0) info.item.iImage = static_cast<int>(row.icon);
    if ((info.item.mask & LVIF_INDENT) != 0) info.item.iIndent = row.indent;
}

void TProcessForm::FormClose() {
    // While the run goes on the window only steps aside.
    if (!terminated_) {
        ShowWindow(Handle(), SW_MINIMIZE);
        return;
    }
    closed_(*this);
}

LRESULT TProcessForm::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_DEBUG_EVENT:
            WMDebugEvent();
            return 0;
        case WM_SCROLL_LIST:
            ScrollToLastRow();
            return 0;
        case WM_TIMER:
            if (wParam != kTakeTimer) break;
            WMDebugEvent();
            return 0;
        case WM_COMMAND:
            if (reinterpret_cast<HWND>(lParam) == Toolbar971) {
                if (LOWORD(wParam) == btn_HaltOnEvent) btn_HaltOnEventClick();
                if (LOWORD(wParam) == btn_Continue) btn_ContinueClick();
                if (LOWORD(wParam) == btn_SaveDump) btn_SaveDumpClick();
                return 0;
            }
            break;
        case WM_NOTIFY: {
            auto* header = reinterpret_cast<NMHDR*>(lParam);
            if (header->hwndFrom == lv_Data && header->code == LVN_GETDISPINFOW) {
                GetDispInfo(*reinterpret_cast<NMLVDISPINFOW*>(lParam));
                return 0;
            }
            break;
        }
        case WM_NOTIFYFORMAT:
            // The window itself is a single-byte one; its controls notify it
            // in UTF-16 all the same, so that a row can be any text.
            if (lParam == NF_QUERY) return NFR_UNICODE;
            break;
        case WM_SIZE:
            Layout();
            break;  // The frame must see it too.
        case WM_SETCURSOR:
            if (reinterpret_cast<HWND>(wParam) == Handle() && LOWORD(lParam) == HTCLIENT) {
                POINT point{};
                GetCursorPos(&point);
                ScreenToClient(Handle(), &point);
                if (OnSplitter(point.x)) {
                    SetCursor(LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_SIZEWE)));
                    return TRUE;
                }
            }
            break;
        case WM_LBUTTONDOWN:
            if (OnSplitter(static_cast<short>(LOWORD(lParam)))) {
                splitting_ = true;
                SetCapture(Handle());
                return 0;
            }
            break;
        case WM_MOUSEMOVE:
            if (splitting_) {
                panel1Width_ = static_cast<short>(LOWORD(lParam));
                Layout();
                return 0;
            }
            break;
        case WM_LBUTTONUP:
        case WM_CAPTURECHANGED:
            if (splitting_) {
                splitting_ = false;
                if (message == WM_LBUTTONUP) ReleaseCapture();
                return 0;
            }
            break;
        case WM_CLOSE:
            FormClose();
            return 0;
        case WM_DESTROY:
            // However the window goes (also with its frame), the thread
            // hands nothing more to it.
            if (handOver_) handOver_->Stop();
            break;
        default: break;
    }
    return TWindow::HandleMessage(message, wParam, lParam);
}

LRESULT TProcessForm::DefaultHandling(UINT message, WPARAM wParam, LPARAM lParam) {
    return DefMDIChildProcA(Handle(), message, wParam, lParam);
}

}  // namespace norvale
