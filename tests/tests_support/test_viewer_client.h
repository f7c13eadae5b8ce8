#pragma once

#ifdef _WIN32

// The test viewer (norvale_test_viewer.exe) as a test starts and reads it: a
// stand-in for the trace viewer that records every WM_COPYDATA it gets.

#include <windows.h>

#include <chrono>
#include <cstdint>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "output/codesite_record.h"
#include "tests_support/child_process.h"
#include "tests_support/paths.h"
#include "tests_support/process_windows.h"
#include "tests_support/scratch.h"
#include "tests_support/wait_until.h"

namespace norvale::test {

using std::chrono::milliseconds;
using std::chrono::steady_clock;

struct ViewerWindow {
    const char* className;
    const char* title;
};
constexpr ViewerWindow kMainViewer{"TRzFrmCodeSite", "CodeSite (32-bit)"};
constexpr ViewerWindow kSatellite{"TRzFrmCSSatellite", "CodeSite Satellite Window"};

struct CopyData {
    uint64_t sender = 0;
    uint64_t data = 0;
    uint32_t size = 0;
    std::vector<uint8_t> bytes;
};

// What the test viewer wrote: its start lines and its records, in order.
struct ViewerLog {
    int starts = 0;
    std::vector<CopyData> records;
    std::vector<std::string> other;
};

inline ViewerLog ReadViewerLog(const std::string& path) {
    ViewerLog log;
    std::istringstream lines(ReadWholeFile(path));
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        std::string word;
        fields >> word;
        if (line == "started") {
            ++log.starts;
        } else if (word == "copydata") {
            CopyData record;
            std::string hex;
            fields >> std::hex >> record.sender >> record.data >> std::dec >> record.size >> hex;
            for (size_t i = 0; i + 1 < hex.size(); i += 2) {
                record.bytes.push_back(static_cast<uint8_t>(std::stoul(hex.substr(i, 2), nullptr, 16)));
            }
            log.records.push_back(std::move(record));
        } else {
            log.other.push_back(line);
        }
    }
    return log;
}

inline uint32_t TickOf(const CopyData& record) {
    const auto& b = record.bytes;
    return b.size() >= 8 ? b[4] | b[5] << 8 | b[6] << 16 | static_cast<uint32_t>(b[7]) << 24 : 0;
}

inline std::string TextOf(const CopyData& record) {
    const auto* text = reinterpret_cast<const char*>(record.bytes.data()) + codesite::kTextOffset;
    return record.bytes.size() > codesite::kTextOffset ? std::string(text) : std::string();
}

inline std::string TestViewerExe() { return BinDirectory() + "norvale_test_viewer.exe"; }

inline std::string TestViewerCommand(const std::string& recordFile, const ViewerWindow& window,
                              const std::string& resumeEvent = {}) {
    std::string command = "\"" + TestViewerExe() + "\" \"" + recordFile + "\" " + window.className + " \"" +
                          window.title + "\"";
    if (!resumeEvent.empty()) command += " \"" + resumeEvent + "\"";
    return command;
}

// A test viewer the test starts; its output must stay empty, and it must end
// with exit code 0 when closed.
class TestViewer {
public:
    TestViewer(const ScratchDirectory& dir, const ViewerWindow& window, const std::string& resumeEvent = {})
        : records_(dir.PathOf(std::string(window.className) + ".log")),
          output_(dir.PathOf(std::string(window.className) + ".out")),
          process_(TestViewerCommand(records_, window, resumeEvent), output_) {
        WaitUntil([&] { return (window_ = FindProcessWindow(process_.Id(), window.className, window.title,
                                                                  true)) != nullptr; },
                  milliseconds(20000));
    }
    ~TestViewer() {
        if (window_ != nullptr) PostMessageA(window_, WM_CLOSE, 0, 0);
        EXPECT_EQ(process_.WaitForExit(20000), 0) << "test viewer " << records_;
        EXPECT_EQ(ReadWholeFile(output_), "");
    }

    HWND Window() const { return window_; }
    ViewerLog Log() const { return ReadViewerLog(records_); }

private:
    std::string records_;
    std::string output_;
    ChildProcess process_;
    HWND window_ = nullptr;
};

// Closes a viewer that the output started, found by its window; gives its
// exit code, or -1 when it has no window or did not end within 20 s.
inline int64_t CloseStartedViewer(const ViewerWindow& viewer) {
    const HWND window = FindWindowA(viewer.className, viewer.title);
    if (window == nullptr) return -1;
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    const UniqueHandle process(OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId));
    PostMessageA(window, WM_CLOSE, 0, 0);
    if (!process || WaitForSingleObject(process.get(), 20000) != WAIT_OBJECT_0) return -1;
    DWORD exitCode = 0;
    GetExitCodeProcess(process.get(), &exitCode);
    return exitCode;
}

}  // namespace norvale::test

#endif
