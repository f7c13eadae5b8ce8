// The trace window's controls and where they go: the bar with its buttons
// and the Find box, the three filter boxes under their labels, the list and
// its columns, and the status bar at the bottom.

#include "shell/trace_form.h"

#include <commctrl.h>

#include <algorithm>

#include "common/win32_resources.h"

namespace norvale {

void TTraceForm::CreateToolBar() {
    // Sized by `Layout` to its buttons, with the Find box beside them.
    toolBar_ = CreateWindowExW(0, TOOLBARCLASSNAMEW, nullptr,
                               WS_CHILD | WS_VISIBLE | TBSTYLE_FLAT | TBSTYLE_LIST | CCS_NORESIZE | CCS_NOPARENTALIGN |
                                   CCS_NODIVIDER,
                               0, 0, 0, 0, Handle(), nullptr, GetModuleHandleW(nullptr), nullptr);
    SendMessageW(toolBar_, TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON), 0);
    SendMessageW(toolBar_, TB_SETBITMAPSIZE, 0, MAKELPARAM(0, 0));
    const auto button = [](int command, BYTE style, const wchar_t* caption) {
        return TBBUTTON{I_IMAGENONE, command, TBSTATE_ENABLED, static_cast<BYTE>(style | BTNS_AUTOSIZE), {}, 0,
                        reinterpret_cast<INT_PTR>(caption)};
    };
    TBBUTTON buttons[] = {button(btn_Pause, BTNS_CHECK, L"Pause"), button(btn_Clear, BTNS_BUTTON, L"Clear"),
                          button(btn_Open, BTNS_BUTTON, L"Open\u2026"),
                          button(btn_NewView, BTNS_BUTTON, L"New view")};
    SendMessageW(toolBar_, TB_ADDBUTTONSW, std::size(buttons), reinterpret_cast<LPARAM>(buttons));
    // A saved trace is read-only.
    SendMessageW(toolBar_, TB_ENABLEBUTTON, btn_Clear, ownStore_ ? FALSE : TRUE);
}

void TTraceForm::CreateFilterBar() {
    const auto font = reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT));
    for (int i = 0; i < 3; ++i) {
        labels_[i] = CreateWindowExW(0, L"STATIC", kLabels[i], WS_CHILD | WS_VISIBLE | SS_CENTERIMAGE, 0, 0, 0, 0,
                                     Handle(), nullptr, GetModuleHandleW(nullptr), nullptr);
        filters_[i] = CreateWindowExW(WS_EX_CLIENTEDGE, L"EDIT", nullptr,
                                      WS_CHILD | WS_VISIBLE | WS_TABSTOP | ES_AUTOHSCROLL, 0, 0, 0, 0, Handle(),
                                      nullptr, GetModuleHandleW(nullptr), nullptr);
        SendMessageW(labels_[i], WM_SETFONT, font, FALSE);
        SendMessageW(filters_[i], WM_SETFONT, font, FALSE);
    }
    // The Find box, on the bar, comes after the filter boxes among the
    // window's children, which readers find by their order.
    findLabel_ = CreateWindowExW(0, L"STATIC", L"Find", WS_CHILD | WS_VISIBLE | SS_CENTERIMAGE | SS_RIGHT, 0, 0, 0,
                                 0, Handle(), nullptr, GetModuleHandleW(nullptr), nullptr);
    findBox_ = CreateWindowExW(WS_EX_CLIENTEDGE, L"EDIT", nullptr, WS_CHILD | WS_VISIBLE | WS_TABSTOP | ES_AUTOHSCROLL,
                               0, 0, 0, 0, Handle(), nullptr, GetModuleHandleW(nullptr), nullptr);
    SendMessageW(findLabel_, WM_SETFONT, font, FALSE);
    SendMessageW(findBox_, WM_SETFONT, font, FALSE);
}

void TTraceForm::CreateList() {
    // Rows live in the store; the list asks for the ones it shows.
    lv_Rows = CreateWindowExW(WS_EX_CLIENTEDGE, WC_LISTVIEWW, nullptr,
                              WS_CHILD | WS_VISIBLE | WS_TABSTOP | LVS_REPORT | LVS_OWNERDATA | LVS_SHOWSELALWAYS, 0,
                              0, 0, 0, Handle(), nullptr, GetModuleHandleW(nullptr), nullptr);
    SendMessageW(lv_Rows, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)), FALSE);
    SendMessageW(lv_Rows, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER);
    for (size_t i = 0; i < kTraceListColumns; ++i) {
        LVCOLUMNW column{};
        column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT;
        column.fmt = i == kDeltaColumn ? LVCFMT_RIGHT : LVCFMT_LEFT;
        // The marks' header is their sign; the headers' menu names them.
        column.pszText = const_cast<wchar_t*>(i == kMarkColumn ? kMarkText.data() : kTraceListColumnNames[i].data());
        SendMessageW(lv_Rows, LVM_INSERTCOLUMNW, i, reinterpret_cast<LPARAM>(&column));
    }
    // The marks in front; the subitems keep their numbers, as readers know them.
    std::array<int, kTraceListColumns> order{};
    order[0] = static_cast<int>(kMarkColumn);
    for (size_t i = 0; i < kMarkColumn; ++i) order[i + 1] = static_cast<int>(i);
    SendMessageW(lv_Rows, LVM_SETCOLUMNORDERARRAY, order.size(), reinterpret_cast<LPARAM>(order.data()));
}

// A hidden column is one of no width, which the user cannot drag open.
void TTraceForm::ApplyColumns() {
    for (size_t i = 0; i < kTraceListColumns; ++i) {
        SendMessageW(lv_Rows, LVM_SETCOLUMNWIDTH, i, columns_[i].shown ? columns_[i].width : 0);
    }
}

// Switches a column on or off; one switched off keeps its width for later.
void TTraceForm::ShowColumn(size_t column) {
    TraceColumnWidth& switched = columns_[column];
    if (switched.shown) switched.width = static_cast<int>(SendMessageW(lv_Rows, LVM_GETCOLUMNWIDTH, column, 0));
    switched.shown = !switched.shown;
    ApplyColumns();
    Layout();
}

void TTraceForm::Layout() {
    RECT client{};
    GetClientRect(Handle(), &client);
    SendMessageW(statusBar_, WM_SIZE, 0, 0);
    RECT status{};
    GetWindowRect(statusBar_, &status);
    SIZE bar{};
    SendMessageW(toolBar_, TB_GETMAXSIZE, 0, reinterpret_cast<LPARAM>(&bar));
    const int gap = Scaled(4);
    const int rowHeight = Scaled(21);
    const int barHeight = std::max<int>(bar.cy, rowHeight);
    MoveWindow(toolBar_, 0, 0, bar.cx, barHeight, TRUE);
    const int findLabelWidth = Scaled(32);
    const int findTop = (barHeight - rowHeight) / 2;
    MoveWindow(findLabel_, bar.cx + gap, findTop, findLabelWidth, rowHeight, TRUE);
    MoveWindow(findBox_, bar.cx + 2 * gap + findLabelWidth, findTop, Scaled(220), rowHeight, TRUE);
    int top = barHeight + gap / 2;
    // The three boxes share the width after their labels.
    const int labelWidth = Scaled(52);
    const int boxWidth = std::max<int>((client.right - gap - 3 * (labelWidth + gap)) / 3, 0);
    int left = gap;
    for (int i = 0; i < 3; ++i) {
        MoveWindow(labels_[i], left, top, labelWidth, rowHeight, TRUE);
        left += labelWidth;
        MoveWindow(filters_[i], left, top, boxWidth, rowHeight, TRUE);
        left += boxWidth + gap;
    }
    top += rowHeight + gap;
    const int bottom = client.bottom - (status.bottom - status.top);
    MoveWindow(lv_Rows, 0, top, client.right, std::max<int>(bottom - top, 0), TRUE);
    FitMessage();
}

// Also after every change of the rows' count: rows that make the vertical
// scroll bar appear narrow the list's client area, and a Message column
// fitted before would reach under the bar and bring a horizontal one.
TraceColumnLayout TTraceForm::ScaledDefaultColumns() {
    TraceColumnLayout layout = DefaultColumnLayout();
    for (TraceColumnWidth& column : layout) column.width = Scaled(column.width);
    return layout;
}

// Fitted from the default widths each time, so that a list made narrow and
// then wide again gets them back.
void TTraceForm::FitMessage() {
    if (!fitMessage_) return;
    RECT list{};
    GetClientRect(lv_Rows, &list);
    TraceColumnLayout wanted = ScaledDefaultColumns();
    for (size_t i = 0; i < wanted.size(); ++i) wanted[i].shown = columns_[i].shown;
    const TraceColumnLayout fitted = FitColumnsToList(wanted, list.right, Scaled(200));
    for (size_t i = 0; i < fitted.size(); ++i) {
        if (!fitted[i].shown || fitted[i].width == static_cast<int>(SendMessageW(lv_Rows, LVM_GETCOLUMNWIDTH, i, 0))) {
            continue;
        }
        SendMessageW(lv_Rows, LVM_SETCOLUMNWIDTH, i, fitted[i].width);
    }
    columns_ = fitted;
}

LRESULT TTraceForm::BoxColour(HWND box, HDC dc) {
    const auto filter = std::find(std::begin(filters_), std::end(filters_), box);
    const bool failed = box == findBox_ ? findError_.has_value()
                        : filter != std::end(filters_)
                            ? shown_.Filter().Error(static_cast<size_t>(filter - std::begin(filters_))).has_value()
                            : false;
    if (!failed) {
        return DefMDIChildProcW(Handle(), WM_CTLCOLOREDIT, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(box));
    }
    SetBkColor(dc, kErrorBackground);
    return reinterpret_cast<LRESULT>(errorBrush_.get());
}

}  // namespace norvale
