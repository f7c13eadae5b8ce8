#pragma once

// What a process window shows, decided in plain code: the rows of the event
// list and the nodes of the tree that each debug event adds or removes, with
// their exact texts and pictures. The window only applies them.

#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "debugger/debug_event.h"

namespace norvale {

// Positions of the seven pictures of the window's image list.
enum class ViewIcon : int {
    DelphiDetail = 0,
    RootFolder = 1,
    Thread = 2,
    Module = 3,
    Process = 4,
    Text = 5,
    Exception = 6,
};

struct EventRow {
    std::string text;
    ViewIcon icon = ViewIcon::Text;
    int indent = 0;
};

enum class TreeRoot : int { Threads = 0, Modules = 1, Processes = 2 };

// A node added under one of the three roots, with its detail nodes below it.
struct TreeNodeAdded {
    TreeRoot root = TreeRoot::Threads;
    std::string text;
    ViewIcon icon = ViewIcon::Thread;
    std::vector<std::string> details;
};

// What one event changes.
struct EventView {
    std::vector<EventRow> rows;
    std::optional<TreeNodeAdded> node;
    // The module node (counted among the children of "Modules", in order)
    // that an unload removes, with its details.
    std::optional<size_t> removedModule;
};

// `TModuleInfo`: a loaded module as its tree node knows it.
struct TModuleInfo {
    std::string moduleName;
    uint64_t base = 0;
};

// A pointer-sized value: 16 lower-case digits for a 64-bit debuggee, 8 for a
// 32-bit one (the low 32 bits).
std::string PointerText(uint64_t value, int pointerSize);

// The status a debug event is continued with: DBG_CONTINUE for every event
// but exceptions; for breakpoints (also the 32-bit one of a process under
// WOW64) and single steps too; every other exception, first or second
// chance, DBG_EXCEPTION_NOT_HANDLED, so that the program's own handlers run
// and an unhandled fault ends it as it would without a debugger.
constexpr uint32_t kDbgContinue = 0x00010002;
constexpr uint32_t kDbgExceptionNotHandled = 0x80010001;
uint32_t ContinueStatusFor(const DebugEventRecord& event);

// The document of one process window: the rows in arrival order, at most
// `kMaxRows` of them (the oldest go first), and the loaded modules in the
// order of their nodes under "Modules". Every text is UTF-8: the debuggee's
// 8-bit texts are taken through the code page; its UTF-16 ones are shown as
// they are with `unicodeNames`, and otherwise as before Unicode names were
// shown: an image name as the fixed text "[unicode not supported yet]", a
// debug string through the code page ("?" for what the code page lacks).
class TProcessViewModel {
public:
    static constexpr size_t kMaxRows = 200000;

    explicit TProcessViewModel(bool unicodeNames = false) : unicodeNames_(unicodeNames) {}

    // The changes `copy` makes; its rows are appended to `Rows()`. A dump's
    // note is a detail row after the event's own rows.
    EventView Apply(const DebugEventCopy& copy);

    const std::deque<EventRow>& Rows() const { return rows_; }
    // How many rows were dropped from the front so far.
    uint64_t DroppedRows() const { return dropped_; }
    const std::vector<TModuleInfo>& Modules() const { return modules_; }

private:
    EventView Describe(const DebugEventCopy& copy);
    std::wstring ImageName(const DebugEventCopy& copy) const;
    std::string DebugString(const DebugEventCopy& copy) const;

    const bool unicodeNames_;

    std::deque<EventRow> rows_;
    uint64_t dropped_ = 0;
    std::vector<TModuleInfo> modules_;
};

}  // namespace norvale
