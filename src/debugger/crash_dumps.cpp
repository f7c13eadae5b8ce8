#include "debugger/crash_dumps.h"

#include <algorithm>
#include <tuple>

#include "common/text.h"

namespace norvale {

namespace {

constexpr std::string_view kDumpExtension = ".dmp";
constexpr std::string_view kNotInFileNames = "<>:\"/\\|?*";
// YYYYMMDD-HHMMSS
constexpr size_t kStampLength = 15;
// A process id has at most ten decimal digits.
constexpr size_t kMaxIdDigits = 10;

bool AllDigits(std::string_view text) {
    return !text.empty() && text.find_first_not_of("0123456789") == std::string_view::npos;
}

bool IsStamp(std::string_view text) {
    return text.size() == kStampLength && AllDigits(text.substr(0, 8)) && text[8] == '-' && AllDigits(text.substr(9));
}

struct DumpOfProgram {
    std::string_view name;
    std::string_view stamp;
    uint64_t processId = 0;
};

// Read from the end, where the pattern is fixed, so that what is left before
// it is the program's whole name.
bool ParseDumpName(std::string_view name, std::string_view program, DumpOfProgram& dump) {
    std::string_view rest = name;
    if (rest.size() < kDumpExtension.size() ||
        AsciiLowerCase(rest.substr(rest.size() - kDumpExtension.size())) != kDumpExtension)
        return false;
    rest.remove_suffix(kDumpExtension.size());
    if (rest.size() < kStampLength + 1) return false;
    const std::string_view stamp = rest.substr(rest.size() - kStampLength);
    rest.remove_suffix(kStampLength);
    if (!IsStamp(stamp) || rest.back() != '_') return false;
    rest.remove_suffix(1);
    const size_t idStart = rest.find_last_of('_');
    if (idStart == std::string_view::npos) return false;
    const std::string_view id = rest.substr(idStart + 1);
    if (!AllDigits(id) || id.size() > kMaxIdDigits) return false;
    if (AsciiLowerCase(rest.substr(0, idStart)) != AsciiLowerCase(program)) return false;
    uint64_t value = 0;
    for (const char digit : id) value = value * 10 + static_cast<uint64_t>(digit - '0');
    dump = {name, stamp, value};
    return true;
}

}  // namespace

CrashDumpSettings CrashDumpSettingsOf(const OptionsSettings& options) {
    return {options.DumpOnCrash, options.DumpFolder, options.DumpKeep};
}

std::string DumpProgramName(std::string_view imagePath) {
    const size_t separator = imagePath.find_last_of("\\/");
    std::string name(separator == std::string_view::npos ? imagePath : imagePath.substr(separator + 1));
    if (const size_t dot = name.find_last_of('.'); dot != std::string::npos) name.erase(dot);
    for (char& c : name) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7f || kNotInFileNames.find(c) != std::string_view::npos) c = '_';
    }
    if (name.size() > kMaxDumpProgramBytes) {
        size_t cut = kMaxDumpProgramBytes;
        // Back to the first byte of a character: continuation bytes are 10xxxxxx.
        while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80) --cut;
        name.erase(cut);
    }
    while (!name.empty() && (name.back() == '.' || name.back() == ' ')) name.pop_back();
    return name.empty() ? "process" : name;
}

std::string CrashDumpFileName(std::string_view program, uint32_t processId, const DumpTime& time) {
    std::string name(program);
    name += '_';
    name += std::to_string(processId);
    name += '_';
    AppendZeroPad(name, time.year, 4);
    AppendZeroPad(name, time.month, 2);
    AppendZeroPad(name, time.day, 2);
    name += '-';
    AppendZeroPad(name, time.hour, 2);
    AppendZeroPad(name, time.minute, 2);
    AppendZeroPad(name, time.second, 2);
    name += kDumpExtension;
    return name;
}

std::vector<std::string> DumpsToDelete(const std::vector<std::string>& names, std::string_view program,
                                       std::string_view justWritten, uint32_t keep) {
    std::vector<DumpOfProgram> dumps;
    for (const std::string& name : names) {
        DumpOfProgram dump;
        if (name != justWritten && ParseDumpName(name, program, dump)) dumps.push_back(dump);
    }
    std::sort(dumps.begin(), dumps.end(), [](const DumpOfProgram& a, const DumpOfProgram& b) {
        return std::tie(a.stamp, a.processId, a.name) > std::tie(b.stamp, b.processId, b.name);
    });
    // The one just written is one of those kept.
    const size_t others = std::max<uint32_t>(keep, 1) - 1;
    std::vector<std::string> doomed;
    for (size_t i = others; i < dumps.size(); ++i) doomed.emplace_back(dumps[i].name);
    return doomed;
}

std::string DumpWrittenNote(std::string_view path) { return "Dump written to " + std::string(path); }

std::string DumpFailedNote(std::string_view path, std::string_view reason) {
    std::string note = "Dump not written";
    if (!path.empty()) note += " to " + std::string(path);
    return note + ": " + std::string(reason);
}

}  // namespace norvale
