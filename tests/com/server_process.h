#pragma once

// A server started by hand, as a user does (or with "-Embedding", as the
// platform starts it for a client), for tests that watch what it reports.

#include <gtest/gtest.h>
#include <windows.h>

#include <norvale/tracer.h>

#include <chrono>
#include <string>
#include <thread>

#include "common/win32_resources.h"
#include "tests_support/child_process.h"
#include "tests_support/paths.h"
#include "tests_support/process_windows.h"
#include "tests_support/scratch.h"
#include "tests_support/wait_until.h"

namespace norvale::test {

// Whether a Norvale process offers its class within `bound`: a client
// earlier than that would make the platform start a server of its own,
// which the test would leave running.
inline bool AwaitServing(std::chrono::seconds bound) {
    return WaitUntil([] { return bool(UniqueHandle(OpenEventA(SYNCHRONIZE, FALSE, kNorvaleServingEvent))); }, bound);
}

// What the process writes to standard output and error goes to a file that
// must hold exactly what the test expects (nothing, unless told). The
// destructor ends it as the user would and expects a clean end.
class ServerProcess {
public:
    explicit ServerProcess(const std::string& arguments = {})
        : process_("\"" + NorvaleExe() + "\" " + arguments, dir_.PathOf("server.txt")) {
        // The sign may still be a server's that is ending; this process's
        // frame comes after it offered its class, and answers once the shell
        // is up and the main thread takes messages.
        HWND frame = nullptr;
        EXPECT_TRUE(WaitUntil([&] { return (frame = FindProcessWindow(process_.Id(), "TMainForm")) != nullptr; },
                              std::chrono::seconds(30)))
            << "the server showed no sign of offering its class (its frame) within 30 s";
        DWORD_PTR answer = 0;
        EXPECT_TRUE(frame == nullptr || SendMessageTimeoutA(frame, WM_NULL, 0, 0, SMTO_NORMAL, 30000, &answer) != 0)
            << "the server's frame did not answer within 30 s";
        EXPECT_TRUE(AwaitServing(std::chrono::seconds(30))) << "the server offered no class within 30 s";
    }
    ~ServerProcess() {
        EXPECT_EQ(process_.Quit(), 0);
        EXPECT_EQ(ReadWholeFile(dir_.PathOf("server.txt")), expectedOutput_);
    }
    void ExpectOutput(const std::string& text) { expectedOutput_ = text; }
    bool StillRunning() { return process_.WaitForExit(300) == -1; }
    ChildProcess& Process() { return process_; }

private:
    ScratchDirectory dir_;
    ChildProcess process_;
    std::string expectedOutput_;
};

}  // namespace norvale::test
