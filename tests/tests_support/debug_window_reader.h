#pragma once

#ifdef _WIN32

// A process window read and driven as a user sees and uses it, in this
// process or in another one: its caption, the rows of its list, the nodes of
// its tree and its tool bar buttons; row texts in UTF-8.

#include <windows.h>

#include <string>
#include <vector>

namespace norvale::test {

struct ShownRow {
    std::string text;
    int image = -1;
    int indent = 0;
    bool operator==(const ShownRow&) const = default;
};

struct ShownNode {
    std::string text;
    int image = -1;
    int depth = 0;  // 0 for a root
    bool operator==(const ShownNode&) const = default;
};

struct ShownProcessWindow {
    std::string caption;
    std::vector<ShownRow> rows;
    std::vector<ShownNode> nodes;  // depth first, in order
    bool haltOnEventDown = false;
    bool continueEnabled = false;
    bool saveDumpEnabled = false;
};

ShownProcessWindow ReadProcessWindow(HWND form);

// Presses a tool bar button with the mouse: 0 "Halt on Event", 1 "Continue",
// 2 "Save dump…".
void ClickToolbarButton(HWND form, int index);

// Rows as plain texts, for comparing with a list of expected texts.
std::vector<std::string> RowTexts(const ShownProcessWindow& shown);

}  // namespace norvale::test

#endif
