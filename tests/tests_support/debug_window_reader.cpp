#include "tests_support/debug_window_reader.h"

#include <commctrl.h>

#include "common/utf8_text.h"
#include "tests_support/remote_block.h"

namespace norvale::test {

namespace {

constexpr size_t kTextRoom = 1024;
constexpr size_t kTextOffset = 512;

HWND ChildOfClass(HWND form, const char* className) { return FindWindowExA(form, nullptr, className, nullptr); }

std::vector<ShownRow> ReadRows(HWND list) {
    RemoteBlock block(list, kTextOffset + kTextRoom);
    std::vector<ShownRow> rows;
    const auto count = SendMessageA(list, LVM_GETITEMCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        LVITEMW item{};
        item.mask = LVIF_TEXT | LVIF_IMAGE | LVIF_INDENT;
        item.iItem = static_cast<int>(i);
        item.pszText = reinterpret_cast<wchar_t*>(block.At(kTextOffset));
        item.cchTextMax = kTextRoom / sizeof(wchar_t);
        block.Write(0, &item, sizeof item);
        SendMessageW(list, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(block.At(0)));
        block.Read(0, &item, sizeof item);
        wchar_t text[kTextRoom / sizeof(wchar_t)] = {};
        block.Read(kTextOffset, text, kTextRoom - sizeof(wchar_t));
        rows.push_back(ShownRow{WideToUtf8(text), item.iImage, item.iIndent});
    }
    return rows;
}

void ReadNodes(HWND tree, const RemoteBlock& block, HTREEITEM first, int depth, std::vector<ShownNode>& nodes) {
    for (HTREEITEM node = first; node != nullptr;
         node = reinterpret_cast<HTREEITEM>(
             SendMessageA(tree, TVM_GETNEXTITEM, TVGN_NEXT, reinterpret_cast<LPARAM>(node)))) {
        TVITEMA item{};
        item.mask = TVIF_TEXT | TVIF_IMAGE | TVIF_HANDLE;
        item.hItem = node;
        item.pszText = block.At(kTextOffset);
        item.cchTextMax = kTextRoom;
        block.Write(0, &item, sizeof item);
        SendMessageA(tree, TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(block.At(0)));
        block.Read(0, &item, sizeof item);
        char text[kTextRoom] = {};
        block.Read(kTextOffset, text, kTextRoom - 1);
        nodes.push_back(ShownNode{text, item.iImage, depth});
        const auto child = reinterpret_cast<HTREEITEM>(
            SendMessageA(tree, TVM_GETNEXTITEM, TVGN_CHILD, reinterpret_cast<LPARAM>(node)));
        ReadNodes(tree, block, child, depth + 1, nodes);
    }
}

constexpr int kButtonIds[] = {1, 2, 3};

}  // namespace

ShownProcessWindow ReadProcessWindow(HWND form) {
    ShownProcessWindow shown;
    // The buttons first: an event held when they are read is among the rows
    // read after them, as the run cannot pass it before a Continue.
    const HWND toolbar = ChildOfClass(form, TOOLBARCLASSNAMEA);
    shown.haltOnEventDown = SendMessageA(toolbar, TB_ISBUTTONCHECKED, kButtonIds[0], 0) != 0;
    shown.continueEnabled = SendMessageA(toolbar, TB_ISBUTTONENABLED, kButtonIds[1], 0) != 0;
    shown.saveDumpEnabled = SendMessageA(toolbar, TB_ISBUTTONENABLED, kButtonIds[2], 0) != 0;
    char caption[1024] = {};
    GetWindowTextA(form, caption, sizeof caption);
    shown.caption = caption;
    shown.rows = ReadRows(ChildOfClass(form, WC_LISTVIEWA));
    const HWND tree = ChildOfClass(form, WC_TREEVIEWA);
    RemoteBlock block(tree, kTextOffset + kTextRoom);
    const auto root = reinterpret_cast<HTREEITEM>(SendMessageA(tree, TVM_GETNEXTITEM, TVGN_ROOT, 0));
    ReadNodes(tree, block, root, 0, shown.nodes);
    return shown;
}

void ClickToolbarButton(HWND form, int index) {
    const HWND toolbar = ChildOfClass(form, TOOLBARCLASSNAMEA);
    RemoteBlock block(toolbar, sizeof(RECT));
    SendMessageA(toolbar, TB_GETITEMRECT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(block.At(0)));
    RECT rect{};
    block.Read(0, &rect, sizeof rect);
    const LPARAM point = MAKELPARAM((rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2);
    PostMessageA(toolbar, WM_MOUSEMOVE, 0, point);
    PostMessageA(toolbar, WM_LBUTTONDOWN, MK_LBUTTON, point);
    PostMessageA(toolbar, WM_LBUTTONUP, 0, point);
}

std::vector<std::string> RowTexts(const ShownProcessWindow& shown) {
    std::vector<std::string> texts;
    for (const ShownRow& row : shown.rows) texts.push_back(row.text);
    return texts;
}

}  // namespace norvale::test
