#include "tests_support/child_process.h"

#ifdef _WIN32

#include <stdexcept>
#include <string>
#include <vector>

#include "shell/shell_resources.h"
#include "tests_support/process_windows.h"

namespace norvale::test {

void PrintTo(const ProcessEnd& end, std::ostream* out) {
    if (end.code == -1) {
        *out << "still running " << end.waitedMilliseconds << " ms after the wait began: " << end.commandLine;
    } else {
        *out << "exit code " << end.code << " (0x" << std::hex << end.code << std::dec << ") of " << end.commandLine;
    }
}

ChildProcess::ChildProcess(const std::string& commandLine, const std::string& outputPath, uint32_t creationFlags)
    : commandLine_(commandLine) {
    std::vector<char> line(commandLine.begin(), commandLine.end());
    line.push_back('\0');
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    UniqueHandle output;
    if (!outputPath.empty()) {
        SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
        output.reset(CreateFileA(outputPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inheritable, CREATE_ALWAYS,
                                 FILE_ATTRIBUTE_NORMAL, nullptr));
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
        startup.hStdOutput = output.get();
        startup.hStdError = output.get();
    }
    PROCESS_INFORMATION info{};
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, output ? TRUE : FALSE, creationFlags, nullptr, nullptr, &startup,
                        &info)) {
        throw std::runtime_error("cannot start " + commandLine);
    }
    CloseHandle(info.hThread);
    process_.reset(info.hProcess);
    mainThread_ = info.dwThreadId;
    id_ = info.dwProcessId;
}

ChildProcess::~ChildProcess() {
    if (process_ && WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT) Kill();
}

void ChildProcess::Kill() {
    TerminateProcess(process_.get(), 99);
    WaitForSingleObject(process_.get(), 10000);
}

bool ChildProcess::RequestClose() {
    const HWND frame = FindProcessWindow(id_, "TMainForm");
    return frame != nullptr && PostMessageA(frame, WM_COMMAND, ID_AC_CLOSE, 0);
}

ProcessEnd ChildProcess::Quit(uint32_t milliseconds) {
    PostThreadMessageA(mainThread_, WM_QUIT, 0, 0);
    return WaitForExit(milliseconds);
}

ProcessEnd ChildProcess::WaitForExit(uint32_t milliseconds) {
    ProcessEnd end{-1, milliseconds, commandLine_};
    if (WaitForSingleObject(process_.get(), milliseconds) != WAIT_OBJECT_0) return end;
    DWORD code = 0;
    GetExitCodeProcess(process_.get(), &code);
    end.code = code;
    return end;
}

}  // namespace norvale::test

#endif
