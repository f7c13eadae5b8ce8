#include "tests_support/trace_window_reader.h"

#include <commctrl.h>

#include "tests_support/process_windows.h"
#include "tests_support/remote_block.h"

namespace norvale::test {

namespace {

constexpr int kColumns = 9;
constexpr size_t kTextRoom = 2048;
constexpr size_t kTextOffset = 512;

std::wstring RemoteText(const RemoteBlock& block) {
    wchar_t text[kTextRoom] = {};
    block.Read(kTextOffset, text, (kTextRoom - 1) * sizeof(wchar_t));
    return text;
}

HWND NthChild(HWND parent, const wchar_t* className, int n) {
    HWND child = nullptr;
    for (int i = 0; i <= n; ++i) child = FindWindowExW(parent, child, className, nullptr);
    return child;
}

std::wstring ReadCell(HWND list, const RemoteBlock& block, LRESULT row, int subitem) {
    LVITEMW item{};
    item.iSubItem = subitem;
    item.pszText = reinterpret_cast<wchar_t*>(block.At(kTextOffset));
    item.cchTextMax = kTextRoom;
    block.Write(0, &item, sizeof item);
    SendMessageW(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(block.At(0)));
    return RemoteText(block);
}

}  // namespace

HWND FindTraceWindow(DWORD processId, const wchar_t* caption) {
    const HWND frame = FindProcessWindow(processId, "TMainForm");
    const HWND client = frame != nullptr ? FindWindowExW(frame, nullptr, L"MDIClient", nullptr) : nullptr;
    return client != nullptr ? FindWindowExW(client, nullptr, L"TTraceForm", caption) : nullptr;
}

ShownTraceWindow ReadTraceWindow(HWND traceForm) {
    ShownTraceWindow shown;
    const HWND list = NthChild(traceForm, WC_LISTVIEWW, 0);
    RemoteBlock block(list, kTextOffset + kTextRoom * sizeof(wchar_t));
    const auto count = SendMessageW(list, LVM_GETITEMCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        std::vector<std::wstring> cells;
        for (int column = 0; column < kColumns; ++column) cells.push_back(ReadCell(list, block, i, column));
        shown.rows.push_back(std::move(cells));
    }
    shown.status = ReadTraceStatus(traceForm);
    return shown;
}

std::vector<std::wstring> ReadTraceColumn(HWND traceForm, int subitem) {
    const HWND list = NthChild(traceForm, WC_LISTVIEWW, 0);
    RemoteBlock block(list, kTextOffset + kTextRoom * sizeof(wchar_t));
    std::vector<std::wstring> cells;
    for (LRESULT i = 0; i < SendMessageW(list, LVM_GETITEMCOUNT, 0, 0); ++i) cells.push_back(ReadCell(list, block, i, subitem));
    return cells;
}

TraceStatusParts ReadTraceStatus(HWND traceForm) {
    const HWND status = NthChild(traceForm, STATUSCLASSNAMEW, 0);
    TraceStatusParts parts(static_cast<size_t>(SendMessageW(status, SB_GETPARTS, 0, 0)));
    RemoteBlock statusBlock(status, kTextOffset + kTextRoom * sizeof(wchar_t));
    for (size_t part = 0; part < parts.size(); ++part) {
        SendMessageW(status, SB_GETTEXTW, part, reinterpret_cast<LPARAM>(statusBlock.At(kTextOffset)));
        parts[part] = RemoteText(statusBlock);
    }
    return parts;
}

HWND TraceBox(HWND traceForm, int box) { return NthChild(traceForm, L"EDIT", box); }

void TypeFilter(HWND traceForm, int box, const std::wstring& text) {
    SendMessageW(TraceBox(traceForm, box), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

std::vector<std::wstring> Messages(const ShownTraceWindow& shown) {
    std::vector<std::wstring> messages;
    for (const auto& row : shown.rows) messages.push_back(row.back());
    return messages;
}

}  // namespace norvale::test
