#include "output/output_file_name.h"

#include <algorithm>
#include <array>
#include <functional>
#include <span>
#include <utility>
#include <vector>

#include "common/text.h"

namespace norvale {

namespace {

using Substitution = std::pair<std::string_view, std::string_view>;

// The expanded text, and for each character whether a value put it there;
// an empty value leaves no character, so where one stood is kept apart.
struct Expansion {
    std::string text;
    std::vector<bool> made;
    std::vector<size_t> emptyAt;
    bool any = false;
};

// One scan, left to right, of `from`: each match of a placeholder of
// `substitutions` gives way to its value, which this scan does not read again.
Expansion Substitute(const Expansion& from, std::span<const Substitution> substitutions) {
    Expansion to;
    to.any = from.any;
    to.text.reserve(from.text.size());
    auto empty = from.emptyAt.begin();
    size_t i = 0;
    const auto carryEmptyUpTo = [&](size_t position) {
        for (; empty != from.emptyAt.end() && *empty <= position; ++empty) to.emptyAt.push_back(to.text.size());
    };
    while (i < from.text.size()) {
        carryEmptyUpTo(i);
        const auto match = std::find_if(substitutions.begin(), substitutions.end(), [&](const Substitution& s) {
            return std::string_view(from.text).substr(i).starts_with(s.first);
        });
        if (match == substitutions.end()) {
            to.text += from.text[i];
            to.made.push_back(from.made[i]);
            ++i;
            continue;
        }
        const std::string_view value = match->second;
        if (value.empty()) to.emptyAt.push_back(to.text.size());
        to.text += value;
        to.made.insert(to.made.end(), value.size(), true);
        to.any = true;
        // An empty value that stood inside the match stands where this value ends.
        i += match->first.size();
        carryEmptyUpTo(i - 1);
    }
    carryEmptyUpTo(from.text.size());
    return to;
}

Expansion Expand(const std::string& fileNameTemplate, const SessionNaming& session, NameValues values) {
    const std::string process = HexText(static_cast<uint32_t>(session.ProcessID));
    const std::array<Substitution, 5> substitutions{{{"%PROJECT%", session.Project},
                                                     {"%MODULE%", session.Module},
                                                     {"%CLASS%", session.Class},
                                                     {"%MACHINE%", session.Machine},
                                                     {"%PROCESS%", process}}};
    Expansion expansion{fileNameTemplate, std::vector<bool>(fileNameTemplate.size(), false), {}, false};
    if (values == NameValues::Received) return Substitute(expansion, substitutions);
    for (const Substitution& substitution : substitutions) expansion = Substitute(expansion, {&substitution, 1});
    return expansion;
}

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

bool AllDigits(std::string_view text) {
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// The digit of COM1 to COM9 and LPT1 to LPT9, and the superscript ones,
// which Windows reserves as well: single bytes of the Western code page, or
// UTF-8.
bool IsDeviceDigit(std::string_view digit) {
    if (digit.size() == 1) return (digit[0] >= '1' && digit[0] <= '9') || digit == "\xB9" || digit == "\xB2" || digit == "\xB3";
    return digit == "\xC2\xB9" || digit == "\xC2\xB2" || digit == "\xC2\xB3";
}

// The dot before N where `component` reads as `NAME.N.EXT` or `NAME.N`, the
// forms `RotatedName` gives; npos where it does not.
size_t OlderFileNumberDot(std::string_view component) {
    const size_t last = component.rfind('.');
    if (last == std::string_view::npos || last == 0) return std::string_view::npos;
    // NAME.N, where NAME has no extension of its own (a leading dot names none).
    if (AllDigits(component.substr(last + 1)) && component.find('.', 1) == last) return last;
    const size_t before = component.rfind('.', last - 1);
    if (before == std::string_view::npos || before == 0) return std::string_view::npos;
    return AllDigits(component.substr(before + 1, last - before - 1)) ? before : std::string_view::npos;
}

// Leaves `component` a plain file name of at most `room` characters.
void MakePlain(std::string& component, size_t room, NameValues values) {
    if (component.size() > room) component.resize(room);
    // A local session may name folders through its values, as it always
    // could; only a peer's values must stay inside the template's folder.
    if (values == NameValues::Local && (component == "." || component == "..")) return;
    // Appended to a new string rather than inserted: GCC 12 at -O3 sees a
    // false overlap in an insert's copy (-Werror=restrict).
    if (IsDeviceName(component)) {
        std::string plain(1, '_');
        plain.append(component, 0, room > 0 ? room - 1 : 0);
        component.swap(plain);
    }
    if (!component.empty() && (component.back() == '.' || component.back() == ' ')) component.back() = '_';
    // An empty component would leave the folder: "%MACHINE%\x" as "\x" names the drive's root.
    if (component.empty() && values == NameValues::Received && room > 0) component.push_back('_');
}

struct Component {
    std::string text;
    bool made = false;
    // The separator after it; none after the last.
    char separator = 0;
};

std::vector<Component> Components(const Expansion& expansion) {
    std::vector<Component> components;
    size_t start = 0;
    auto empty = expansion.emptyAt.begin();
    for (size_t end = 0; end <= expansion.text.size(); ++end) {
        if (end < expansion.text.size() && !IsSeparator(expansion.text[end])) continue;
        Component component;
        component.text = expansion.text.substr(start, end - start);
        component.made = std::any_of(expansion.made.begin() + start, expansion.made.begin() + end, std::identity());
        for (; empty != expansion.emptyAt.end() && *empty <= end; ++empty) component.made = component.made || *empty >= start;
        if (end < expansion.text.size()) component.separator = expansion.text[end];
        components.push_back(std::move(component));
        start = end + 1;
    }
    return components;
}

}  // namespace

std::string ExpandFileName(const std::string& fileNameTemplate, const SessionNaming* session) {
    if (session == nullptr || fileNameTemplate.find('%') == std::string::npos) return fileNameTemplate;
    return Expand(fileNameTemplate, *session, NameValues::Local).text;
}

bool IsDeviceName(std::string_view component) {
    std::string_view base = component.substr(0, component.find_first_of(".:"));
    while (!base.empty() && base.back() == ' ') base.remove_suffix(1);
    if (base.size() < 3) return false;
    const std::string name = AsciiLowerCase(base.substr(0, 3));
    if (base.size() == 3) return name == "con" || name == "prn" || name == "aux" || name == "nul";
    return (name == "com" || name == "lpt") && IsDeviceDigit(base.substr(3));
}

std::string OutputFileName(const std::string& fileNameTemplate, const SessionNaming* session, NameValues values) {
    if (session == nullptr || fileNameTemplate.find('%') == std::string::npos) return fileNameTemplate;
    const Expansion expansion = Expand(fileNameTemplate, *session, values);
    if (!expansion.any) return expansion.text;
    std::string name;
    for (Component& component : Components(expansion)) {
        const size_t room = kMaxOutputFileNameLength - name.size();
        if (component.made) MakePlain(component.text, std::min(room, kMaxFileNameComponentLength), values);
        const bool cut = component.text.size() > room || (component.text.size() == room && component.separator != 0);
        if (cut) {
            component.text.resize(room);
            MakePlain(component.text, room, values);
        }
        name += component.text;
        if (cut || component.separator == 0) break;
        name += component.separator;
    }
    const size_t start = name.find_last_of("\\/") + 1;
    const size_t dot = OlderFileNumberDot(std::string_view(name).substr(start));
    if (dot != std::string_view::npos) name[start + dot] = '_';
    return name;
}

}  // namespace norvale
