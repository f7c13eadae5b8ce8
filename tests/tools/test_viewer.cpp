// A stand-in for the trace viewer, written from what the viewer output
// expects of it: a top-level window of the given class and title that writes
// every WM_COPYDATA it receives to a file, one line each:
//
//   copydata <wParam> <dwData> <cbData> <the bytes in hex>
//
// The file starts with the line "started", so a test sees every start; a
// failure of the viewer itself is written there as "error: ...", so a test
// that compares the whole file sees it too.
//
//   norvale_test_viewer <record file> <window class> <window title> [<resume event>]
//
// A record whose message text is "stop answering" makes it stop taking
// messages until the named resume event is set (at most 60 s). WM_CLOSE ends
// it with exit code 0.

#include <windows.h>

#include <cstdio>
#include <string>
#include <string_view>

#include "common/window_win32.h"
#include "common/win32_resources.h"
#include "output/codesite_record.h"

namespace {

using norvale::UniqueHandle;

constexpr std::string_view kStopAnswering = "stop answering";
constexpr DWORD kLongestStop = 60000;

class TTestViewer final : public norvale::TWindow {
public:
    TTestViewer(HANDLE recordFile, std::string resumeEvent)
        : recordFile_(recordFile), resumeEvent_(std::move(resumeEvent)) {}

    void Open(const std::string& className, const std::string& title) {
        Create(className.c_str(), 0, title.c_str(), WS_OVERLAPPEDWINDOW, 10, 10, 300, 200, nullptr, nullptr);
        ShowWindow(Handle(), SW_SHOW);
    }

    void Record(const std::string& line) {
        const std::string text = line + "\n";
        DWORD written = 0;
        WriteFile(recordFile_, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    }

protected:
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override {
        switch (message) {
            case WM_COPYDATA:
                return CopyDataReceived(wParam, *reinterpret_cast<const COPYDATASTRUCT*>(lParam));
            case WM_CLOSE:
                PostQuitMessage(0);
                return 0;
            default:
                return DefaultHandling(message, wParam, lParam);
        }
    }

private:
    LRESULT CopyDataReceived(WPARAM sender, const COPYDATASTRUCT& copy) {
        char number[64];
        std::snprintf(number, sizeof number, "copydata %llx %llx %lu ", static_cast<unsigned long long>(sender),
                      static_cast<unsigned long long>(copy.dwData), static_cast<unsigned long>(copy.cbData));
        std::string line = number;
        const auto* bytes = static_cast<const uint8_t*>(copy.lpData);
        for (DWORD i = 0; i < copy.cbData; ++i) {
            std::snprintf(number, sizeof number, "%02x", bytes[i]);
            line += number;
        }
        Record(line);
        if (IsStopRequest(bytes, copy.cbData)) StopAnswering();
        return TRUE;
    }

    static bool IsStopRequest(const uint8_t* bytes, DWORD size) {
        const size_t textEnd = norvale::codesite::kTextOffset + kStopAnswering.size();
        return size > textEnd &&
               std::string_view(reinterpret_cast<const char*>(bytes) + norvale::codesite::kTextOffset,
                                kStopAnswering.size()) == kStopAnswering &&
               bytes[textEnd] == 0;
    }

    void StopAnswering() {
        const UniqueHandle resume(OpenEventA(SYNCHRONIZE, FALSE, resumeEvent_.c_str()));
        if (!resume) {
            Record("error: no resume event " + resumeEvent_);
            PostQuitMessage(2);
        } else if (WaitForSingleObject(resume.get(), kLongestStop) != WAIT_OBJECT_0) {
            Record("error: not resumed within 60 s");
            PostQuitMessage(3);
        }
    }

    HANDLE recordFile_;
    std::string resumeEvent_;
};

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4 && argc != 5) {
        std::fprintf(stderr,
                     "usage: norvale_test_viewer <record file> <window class> <window title> [<resume event>]\n");
        return 1;
    }
    const UniqueHandle recordFile(CreateFileA(argv[1], FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!recordFile) {
        std::fprintf(stderr, "norvale_test_viewer: cannot open %s\n", argv[1]);
        return 1;
    }
    TTestViewer viewer(recordFile.get(), argc == 5 ? argv[4] : "");
    viewer.Record("started");
    try {
        viewer.Open(argv[2], argv[3]);
    } catch (const std::exception& failure) {
        viewer.Record(std::string("error: ") + failure.what());
        return 1;
    }
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return static_cast<int>(message.wParam);
}
