#pragma once

#include <windows.h>

#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/pictures_win32.h"
#include "common/win32_resources.h"
#include "common/window_win32.h"
#include "debugger/debug_event_handover.h"
#include "debugger/process_view_model.h"

namespace norvale {

// Wakes a process window to take the debug events waiting for it.
constexpr UINT WM_DEBUG_EVENT = WM_USER + 0x400;

// The frame the process windows live in.
class IProcessWindowHost {
public:
    virtual ~IProcessWindowHost() = default;
    // The frame's document area: the parent of every process window.
    virtual HWND DocumentArea() const = 0;
    // Makes the frame visible.
    virtual void ShowDebugWindow() = 0;
    // Where "Save dump…" writes; none when the user cancelled.
    virtual std::optional<std::wstring> ChooseDumpFileToSave(HWND owner) = 0;
};

// `TProcessForm`: the document window of one debugging run, with the tree of
// threads, modules and processes, the list of events, and "Halt on Event",
// "Continue" and "Save dump…". It lives on the main thread; its debugger thread reaches it
// only through the hand-over. The list and the tree are Unicode controls,
// whatever the window shows of UTF-16 texts (`unicodeNames`, see
// `TProcessViewModel`).
class TProcessForm final : public TWindow {
public:
    // `closed` is told when the user closes the window after its run ended;
    // the owner then frees it (not from inside the call).
    TProcessForm(IProcessWindowHost& host, const std::string& captionArgument, bool unicodeNames,
                 std::function<void(TProcessForm&)> closed);
    ~TProcessForm() override;

    const std::shared_ptr<TDebugEventHandOver>& HandOver() const { return handOver_; }
    bool Terminated() const { return terminated_; }

protected:
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    LRESULT DefaultHandling(UINT message, WPARAM wParam, LPARAM lParam) override;
    void FillClass(WNDCLASSEXA& windowClass) override;

private:
    void FormCreate();
    void FormClose();
    void btn_HaltOnEventClick();
    void btn_ContinueClick();
    void btn_SaveDumpClick();
    void EnableHeldButtons(bool held);
    void Panel2Resize();
    void WMDebugEvent();
    void ShowNewRows();
    void ScrollToLastRow();
    void SetTerminated();

    void CreateToolbar971();
    void CreateTree();
    void CreateList();
    void Layout();
    void ApplyBatch(const std::vector<DebugEventCopy>& events);
    void Apply(const EventView& view);
    HTREEITEM Root(TreeRoot root) const;
    HTREEITEM AddNode(HTREEITEM parent, const std::string& text, ViewIcon icon);
    void GetDispInfo(NMLVDISPINFOW& info) const;
    bool OnSplitter(int x) const;

    IProcessWindowHost& host_;
    std::function<void(TProcessForm&)> closed_;
    std::shared_ptr<TDebugEventHandOver> handOver_;
    TProcessViewModel model_;
    UniqueImageList il_Views;
    UniqueIcon icon_;
    UniqueGdiObject listFont_;
    HWND Toolbar971 = nullptr;
    HWND tv_Items = nullptr;
    HWND lv_Data = nullptr;
    HTREEITEM threadsNode_ = nullptr;
    HTREEITEM modulesNode_ = nullptr;
    HTREEITEM processesNode_ = nullptr;
    std::vector<HTREEITEM> moduleNodes_;
    // While a batch is applied: whether the tree's redrawing is off, and
    // which roots got nodes.
    bool treeFrozen_ = false;
    std::array<bool, 3> grownRoots_{};
    int panel1Width_;
    bool splitting_ = false;
    bool terminated_ = false;
    bool pacing_ = false;
};

}  // namespace norvale
