#include "tests/com/com_support.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <map>
#include <thread>

#include <gtest/gtest.h>

#include <windows.h>
#include <tlhelp32.h>

#include "config/registry_values.h"
#include "output/output_settings.h"
#include "common/win32_resources.h"
#include "tests_support/child_process.h"
#include "tests_support/paths.h"
#include "tests_support/scratch.h"
#include "tests_support/wait_until.h"

namespace norvale::test {

std::string NorvaleExe() { return NorvaleExePath(); }

OutputSetup::OutputSetup(std::initializer_list<const char*> flagsOn) : file_(dir_.PathOf("trace.txt")) {
    RegApiDeleteTree(RegCurrentUser(), SettingsLocation::kOutputSettingsKey);
    for (const char* flag : flagsOn) Set(flag, "1");
    Set("ToFile", "1");
    Set("FlushOutputFile", "1");
    Set("Filename", file_);
}

namespace {

bool ServerProcessRuns() {
    const UniqueHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    PROCESSENTRY32 entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32First(snapshot.get(), &entry); more; more = Process32Next(snapshot.get(), &entry)) {
        if (_stricmp(entry.szExeFile, "norvale.exe") == 0) return true;
    }
    return false;
}

}  // namespace

// The next test's activation would fail while the last server is still
// ending, so each test waits for its servers to be gone.
OutputSetup::~OutputSetup() {
    RegApiDeleteTree(RegCurrentUser(), SettingsLocation::kOutputSettingsKey);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (ServerProcessRuns()) {
        if (std::chrono::steady_clock::now() > deadline) {
            ADD_FAILURE() << "a server process still ran 20 s after the test";
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

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

std::string OutputSetup::LastLine() const {
    const std::vector<std::string> lines = Lines();
    return lines.empty() ? std::string() : lines.back();
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

void MakeByteArray(VARIANT& out, const std::vector<uint8_t>& bytes) {
    VariantInit(&out);
    SAFEARRAY* array = SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(bytes.size()));
    SafeArrayDataLock lock(array);
    std::copy(bytes.begin(), bytes.end(), static_cast<uint8_t*>(lock.data()));
    V_VT(&out) = VT_ARRAY | VT_UI1;
    V_ARRAY(&out) = array;
}

int64_t RunProgram(const std::string& commandLine, DWORD milliseconds) {
    ChildProcess process(commandLine);
    return process.WaitForExit(milliseconds);
}

std::string Bits32ScriptHost() {
    char folder[MAX_PATH] = {};
    const UINT length = GetSystemWow64DirectoryA(folder, MAX_PATH);
    const std::string host = std::string(folder, length < MAX_PATH ? length : 0) + "\\cscript.exe";
    return length > 0 && GetFileAttributesA(host.c_str()) != INVALID_FILE_ATTRIBUTES ? host : "";
}

int64_t RunScript(const std::string& scriptName, std::string* output, const std::string& host) {
    ScratchDirectory dir;
    const std::string printed = dir.PathOf("printed.txt");
    int64_t exitCode = -1;
    {
        ChildProcess script(host + " //nologo \"" + BinDirectory() + "scripts\\" + scriptName + "\"", printed);
        exitCode = script.WaitForExit(60000);
    }
    if (output != nullptr) *output = ReadWholeFile(printed);
    return exitCode;
}

std::string LoadClientCommand(const std::string& tag, int threads, int messages) {
    return "\"" + BinDirectory() + "norvale_test_helper.exe\" clients " + tag + " " + std::to_string(threads) + " " +
           std::to_string(messages);
}

std::string TracerClientCommand(const std::string& tag, int threads, int messages, const std::string& stopEvent) {
    return "\"" + BinDirectory() + "norvale_test_helper.exe\" tracer " + tag + " " + std::to_string(threads) + " " +
           std::to_string(messages) + (stopEvent.empty() ? "" : " \"" + stopEvent + "\"");
}

void CheckATracerOutlivesItsServer(const OutputSetup& output, const std::function<void()>& endServer) {
    const std::string stopName = UniqueTestName("tracer stop");
    const UniqueHandle stop(CreateEventA(nullptr, TRUE, FALSE, stopName.c_str()));
    ASSERT_TRUE(stop);
    const ScratchDirectory dir;
    const std::string report = dir.PathOf("report.txt");
    ChildProcess client(TracerClientCommand("k", 4, 10000000, stopName), report);
    const bool sending = WaitUntil([&] { return output.Lines().size() > 1000; }, std::chrono::seconds(30));
    if (sending) endServer();
    // Long enough for the tracer to send into the server that is gone.
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    SetEvent(stop.get());
    const auto stopped = std::chrono::steady_clock::now();
    const int64_t exitCode = client.WaitForExit(10000);
    const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - stopped);
    ASSERT_TRUE(sending) << "no 1,000 lines of the tracer in the file within 30 s; it said: " << ReadWholeFile(report);
    EXPECT_EQ(exitCode, 0) << "the tracer's program did not end normally within 10 s of its stop";
    std::printf("the tracer's program ended %lld ms after its stop\n", static_cast<long long>(took.count()));
    const std::string said = ReadWholeFile(report);
    unsigned long long delivered = 0, dropped = 0;
    char end = 0;
    EXPECT_EQ(std::sscanf(said.c_str(), "delivered %llu, dropped %llu%c", &delivered, &dropped, &end), 3) << said;
    EXPECT_GT(dropped, 0u) << said;
    EXPECT_TRUE(said.ends_with("\n") && said.find('\n') == said.size() - 1) << "more than the report: " << said;
}

void CheckLoad(const std::vector<std::string>& lines, const std::map<std::string, int>& messagesByTag, int threads,
               const std::string& cutShortTag) {
    std::map<std::string, std::pair<int, int>> next;  // next message, next block
    for (const auto& [tag, count] : messagesByTag) {
        for (int t = 0; t < threads; ++t) next[tag + "t" + std::to_string(t)] = {0, 24};
    }
    for (size_t i = 0; i < lines.size(); ++i) {
        const std::string& line = lines[i];
        if (line == "Norvale Starting Up" || line == "Norvale Shutting Down" || line == "Session opened." ||
            line == "Session closed.") {
            continue;
        }
        const size_t space = line.find(' ');
        ASSERT_NE(space, std::string::npos) << "line " << i << ": " << line;
        const auto found = next.find(line.substr(0, space));
        ASSERT_NE(found, next.end()) << "line " << i << ": " << line;
        auto& [message, block] = found->second;
        if (line[space + 1] == 'm') {
            ASSERT_EQ(line, found->first + " m" + std::to_string(message)) << "line " << i;
            ++message;
            continue;
        }
        ASSERT_EQ(line, found->first + " b" + std::to_string(block)) << "line " << i;
        ASSERT_LT(block, message) << "block before its message: " << line;
        for (int l = 0; l < 3; ++l) {
            ASSERT_LT(i + 1, lines.size());
            ASSERT_EQ(lines[++i], "  " + line + " l" + std::to_string(l)) << "block " << line << " broken";
        }
        block += 25;
    }
    for (const auto& [session, counts] : next) {
        const std::string tag = session.substr(0, session.find('t'));
        if (tag == cutShortTag) continue;
        EXPECT_EQ(counts.first, messagesByTag.at(tag)) << session;
        EXPECT_EQ(counts.second, messagesByTag.at(tag) + 24) << session;
    }
}

}  // namespace norvale::test
