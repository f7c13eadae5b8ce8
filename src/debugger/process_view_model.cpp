#include "debugger/process_view_model.h"

#include <algorithm>
#include <iterator>
#include <string_view>

#include "common/ansi_text.h"
#include "common/text.h"
#include "common/utf8_text.h"
#include "debugger/exception_code_name.h"
#include "debugger/exception_stack.h"

namespace norvale {

namespace {

constexpr uint32_t kBreakpointCode = 0x80000003;
constexpr uint32_t kWow64BreakpointCode = 0x4000001F;
constexpr uint32_t kSingleStepCode = 0x80000004;

// The labels of the parameters a Delphi runtime passes with its exceptions;
// a runtime that passes more gets empty rows for the rest.
constexpr std::string_view kDelphiParameterLabels[] = {
    "Exception raised at ", "Exception object at ", "EBX = ", "ESI = ", "EDI = ", "EBP = ", "ESP = ",
};

// Shown for a UTF-16 image name while Unicode names are off, as it always was.
constexpr std::wstring_view kUnicodeNamePlaceholder = L"[unicode not supported yet]";

// An image name as the window shows it: the file name names the node, the
// path part goes into its details.
struct ShownImage {
    std::string file;
    std::string path;
};

ShownImage ShownImageOf(std::wstring_view name) {
    return {WideToUtf8(FileNameOfPath(name)), WideToUtf8(PathPartOfPath(name))};
}

EventRow Row(std::string text, ViewIcon icon) { return EventRow{std::move(text), icon, 0}; }

EventView OneRow(std::string text, ViewIcon icon) {
    EventView view;
    view.rows.push_back(Row(std::move(text), icon));
    return view;
}

EventView DescribeException(const DebugEventCopy& copy) {
    const DebugEventRecord& e = copy.event;
    const char* firstChance = YesNoText(e.firstChance != 0);
    if (e.exceptionCode != kDelphiExceptionCode) {
        return OneRow("Exception " + std::string(ExceptionCodeName(e.exceptionCode)) + " (" +
                          HexText(e.exceptionCode) + ") flags:" + HexText(e.exceptionFlags) +
                          " address:" + PointerText(e.exceptionAddress, copy.pointerSize) +
                          " first chance:" + firstChance,
                      ViewIcon::Exception);
    }
    EventView view = OneRow("Delphi Exception " + AnsiToUtf8(copy.texts.delphiClassName) + " at " +
                                PointerText(e.exceptionAddress, copy.pointerSize) + " first chance: " + firstChance,
                            ViewIcon::Exception);
    // The count comes from the debuggee and may claim more than the record holds.
    const size_t count = std::min<size_t>(e.numberParameters, e.exceptionInformation.size());
    for (size_t i = 0; i < count; ++i) {
        std::string text;
        if (i < std::size(kDelphiParameterLabels)) {
            text = std::string(kDelphiParameterLabels[i]) + PointerText(e.exceptionInformation[i], copy.pointerSize);
        }
        view.rows.push_back(EventRow{std::move(text), ViewIcon::DelphiDetail, 1});
    }
    return view;
}

// After the exception's own rows, as its details.
void AddStackRows(const DebugEventCopy& copy, EventView& view) {
    for (std::string& row : StackRows(copy.stack, copy.pointerSize))
        view.rows.push_back(EventRow{std::move(row), ViewIcon::DelphiDetail, 1});
}

EventView DescribeThreadCreated(const DebugEventCopy& copy) {
    const DebugEventRecord& e = copy.event;
    const std::string thread = PointerText(e.thread, copy.pointerSize);
    EventView view = OneRow("Thread " + thread + " spawned.", ViewIcon::Thread);
    view.node = TreeNodeAdded{TreeRoot::Threads,
                              thread,
                              ViewIcon::Thread,
                              {"Thread handle = $" + thread,
                               "Start address = $" + PointerText(e.startAddress, copy.pointerSize),
                               "Thread data at $" + PointerText(e.threadLocalBase, copy.pointerSize)}};
    return view;
}

EventView DescribeProcessCreated(const DebugEventCopy& copy, ShownImage image) {
    const DebugEventRecord& e = copy.event;
    const std::string process = PointerText(e.process, copy.pointerSize);
    EventView view = OneRow("Process " + image.file + " (" + process + ") spawned.", ViewIcon::Process);
    TreeNodeAdded node{TreeRoot::Processes,
                       std::move(image.file),
                       ViewIcon::Process,
                       {"Process handle = $" + process,
                        "Thread handle = $" + PointerText(e.thread, copy.pointerSize),
                        "Start address = $" + PointerText(e.startAddress, copy.pointerSize),
                        "Thread data at $" + PointerText(e.threadLocalBase, copy.pointerSize),
                        "Image base = $" + PointerText(e.baseOfImage, copy.pointerSize),
                        "Image path = " + image.path}};
    if (e.debugInfoSize != 0) node.details.push_back("DebugInfo at $" + HexText(e.debugInfoFileOffset));
    view.node = std::move(node);
    return view;
}

}  // namespace

std::string PointerText(uint64_t value, int pointerSize) {
    std::string text;
    if (pointerSize == 8) AppendHexText(text, static_cast<uint32_t>(value >> 32));
    AppendHexText(text, static_cast<uint32_t>(value));
    return text;
}

uint32_t ContinueStatusFor(const DebugEventRecord& event) {
    if (event.code != kExceptionEvent) return kDbgContinue;
    switch (event.exceptionCode) {
    case kBreakpointCode:
    case kWow64BreakpointCode:
    case kSingleStepCode:
        return kDbgContinue;
    default:
        return kDbgExceptionNotHandled;
    }
}

EventView TProcessViewModel::Apply(const DebugEventCopy& copy) {
    EventView view = Describe(copy);
    if (!copy.dumpNote.empty()) view.rows.push_back(EventRow{copy.dumpNote, ViewIcon::DelphiDetail, 1});
    for (const EventRow& row : view.rows) {
        if (rows_.size() == kMaxRows) {
            rows_.pop_front();
            ++dropped_;
        }
        rows_.push_back(row);
    }
    return view;
}

EventView TProcessViewModel::Describe(const DebugEventCopy& copy) {
    const DebugEventRecord& e = copy.event;
    switch (e.code) {
    case kDebuggerNoteEvent:
        return {};
    case kExceptionEvent: {
        EventView view = DescribeException(copy);
        AddStackRows(copy, view);
        return view;
    }
    case kCreateThreadEvent:
        return DescribeThreadCreated(copy);
    case kCreateProcessEvent:
        return DescribeProcessCreated(copy, ShownImageOf(ImageName(copy)));
    case kExitThreadEvent:
        return OneRow("Thread exited with exit code $" + HexText(e.exitCode), ViewIcon::Thread);
    case kExitProcessEvent:
        return OneRow("Process exited with exit code $" + HexText(e.exitCode), ViewIcon::Process);
    case kLoadDllEvent: {
        const std::string base = PointerText(e.baseOfDll, copy.pointerSize);
        ShownImage image = ShownImageOf(ImageName(copy));
        TModuleInfo module{std::move(image.file), e.baseOfDll};
        EventView view = OneRow("Load DLL " + module.moduleName + " base " + base, ViewIcon::Module);
        TreeNodeAdded node{TreeRoot::Modules,
                           module.moduleName,
                           ViewIcon::Module,
                           {"Path = " + image.path, "Base = $" + base}};
        if (e.debugInfoSize != 0) node.details.push_back("DebugInfo at $" + HexText(e.debugInfoFileOffset));
        view.node = std::move(node);
        modules_.push_back(std::move(module));
        return view;
    }
    case kUnloadDllEvent: {
        std::string name;
        EventView view;
        const auto found = std::find_if(modules_.begin(), modules_.end(),
                                        [&](const TModuleInfo& m) { return m.base == e.baseOfDll; });
        if (found != modules_.end()) {
            name = found->moduleName + " ";
            view.removedModule = static_cast<size_t>(found - modules_.begin());
            modules_.erase(found);
        }
        view.rows.push_back(
            Row("Unload DLL " + name + "base " + PointerText(e.baseOfDll, copy.pointerSize), ViewIcon::Module));
        return view;
    }
    case kOutputDebugStringEvent:
        return OneRow(DebugString(copy), ViewIcon::Text);
    case kRipEvent:
        return OneRow("RIP error:" + HexText(e.ripError) + " type:" + HexText(e.ripType), ViewIcon::Text);
    default:
        return OneRow("Unknown event of type" + HexText(e.code), ViewIcon::Text);
    }
}

std::wstring TProcessViewModel::ImageName(const DebugEventCopy& copy) const {
    if (copy.event.unicode == 0) return AnsiToWide(copy.texts.imageName);
    return unicodeNames_ ? copy.texts.wideImageName : std::wstring(kUnicodeNamePlaceholder);
}

std::string TProcessViewModel::DebugString(const DebugEventCopy& copy) const {
    if (copy.event.unicode == 0) return AnsiToUtf8(copy.texts.debugString);
    const std::wstring& text = copy.texts.wideDebugString;
    return unicodeNames_ ? WideToUtf8(text) : AnsiToUtf8(WideToAnsi(text));
}

}  // namespace norvale
