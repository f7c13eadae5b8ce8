#pragma once

// A server started by hand, as a user does (or with "-Embedding", as the
// platform starts it for a client), for tests that watch what it reports.

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "tests_support/child_process.h"
#include "tests_support/paths.h"
#include "tests_support/scratch.h"

namespace norvale::test {

// What the process writes to standard output and error goes to a file that
// must hold exactly what the test expects (nothing, unless told). The
// destructor ends it as the user would and expects a clean end.
class ServerProcess {
public:
    explicit ServerProcess(const std::string& arguments = {})
        : process_("\"" + NorvaleExe() + "\" " + arguments, dir_.PathOf("server.txt")) {
        // The class is offered a moment after start; activating earlier would
        // make the platform start a server of its own.
        std::this_thread::sleep_for(std::chrono::milliseconds(2000));
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
