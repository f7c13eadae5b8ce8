#include "tests/com/com_support.h"

#include <chrono>
#include <thread>

#include "config/registry_values.h"
#include "output/output_settings.h"
#include "tests_support/child_process.h"
#include "tests_support/paths.h"

namespace norvale::test {

std::string NorvaleExe() { return NorvaleExePath(); }

OutputSetup::OutputSetup(std::initializer_list<const char*> flagsOn) : file_(dir_.PathOf("trace.txt")) {
    RegApiDeleteTree(RegCurrentUser(), SettingsLocation::kOutputSettingsKey);
    for (const char* flag : flagsOn) Set(flag, "1");
    Set("ToFile", "1");
    Set("FlushOutputFile", "1");
    Set("Filename", file_);
}

OutputSetup::~OutputSetup() { RegApiDeleteTree(RegCurrentUser(), SettingsLocation::kOutputSettingsKey); }

void OutputSetup::Set(const std::string& name, const std::string& value) {
    WriteRegString(RegCurrentUser(), SettingsLocation::kOutputSettingsKey, name, value);
}

// Lines as the file holds them: ended by CR LF, whatever else they contain.
std::vector<std::string> OutputSetup::Lines() const {
    const std::string text = ReadWholeFile(file_);
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end = text.find("\r\n"); end != std::string::npos; end = text.find("\r\n", start)) {
        lines.push_back(text.substr(start, end - start));
        start = end + 2;
    }
    if (start < text.size()) lines.push_back(text.substr(start));
    return lines;
}

std::vector<std::string> OutputSetup::LinesEndingWith(const std::string& last, DWORD milliseconds) const {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    std::vector<std::string> lines = Lines();
    while ((lines.empty() || lines.back() != last) && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        lines = Lines();
    }
    return lines;
}

ComPtr<INorvale> ActivateNorvale(HRESULT* result) {
    ComPtr<INorvale> norvale;
    const HRESULT created =
        CoCreateInstance(CLSID_Norvale, nullptr, CLSCTX_LOCAL_SERVER, IID_INorvale, norvale.put_void());
    if (result != nullptr) *result = created;
    return norvale;
}

std::string TakeErrorInfo() {
    ComPtr<IErrorInfo> info;
    if (GetErrorInfo(0, info.put()) != S_OK || !info) return "(none)";
    UniqueBstr source;
    UniqueBstr description;
    info->GetSource(source.put());
    info->GetDescription(description.put());
    const auto text = [](const UniqueBstr& s) {
        std::string ansi;
        for (const wchar_t* c = s.get(); c != nullptr && *c != 0; ++c) ansi += static_cast<char>(*c);
        return ansi;
    };
    return text(source) + "|" + text(description);
}

void MakeVariantArray(VARIANT& out, std::initializer_list<int> numbers) {
    VariantInit(&out);
    SAFEARRAY* array = SafeArrayCreateVector(VT_VARIANT, 0, static_cast<ULONG>(numbers.size()));
    LONG index = 0;
    for (int number : numbers) {
        VARIANT element;
        VariantInit(&element);
        V_VT(&element) = VT_I2;
        V_I2(&element) = static_cast<SHORT>(number);
        SafeArrayPutElement(array, &index, &element);
        ++index;
    }
    V_VT(&out) = VT_ARRAY | VT_VARIANT;
    V_ARRAY(&out) = array;
}

int64_t RunProgram(const std::string& commandLine, DWORD milliseconds) {
    ChildProcess process(commandLine);
    return process.WaitForExit(milliseconds);
}

int64_t RunScript(const std::string& scriptName, std::string* output) {
    ScratchDirectory dir;
    const std::string printed = dir.PathOf("printed.txt");
    int64_t exitCode = -1;
    {
        ChildProcess script("cscript.exe //nologo \"" + BinDirectory() + "scripts\\" + scriptName + "\"",
                            printed);
        exitCode = script.WaitForExit(60000);
    }
    if (output != nullptr) *output = ReadWholeFile(printed);
    return exitCode;
}

}  // namespace norvale::test
