// Winsock's header brings windows.h, after itself as it must.
#include "common/sockets.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "tests_support/loopback.h"
#include "tests_support/rsyslog.h"
#include "tests_support/scratch.h"
#include "tests_support/wait_until.h"

namespace norvale::test {

bool TRsyslog::AwaitStarted(const std::string& pidFile) const {
    if (WaitUntil([&] { return Listening(tcpPort_) && FileExists(pidFile); }, std::chrono::seconds(20))) return true;
    ADD_FAILURE() << "rsyslogd did not listen on 127.0.0.1:" << tcpPort_ << " and write " << pidFile << " within 20 s";
    return false;
}

bool TRsyslog::AwaitEnd(const std::string& pidFile) const {
    if (WaitUntil([&] { return !FileExists(pidFile) && !Listening(tcpPort_); }, std::chrono::seconds(20))) return true;
    ADD_FAILURE() << "rsyslogd did not end in order within 20 s of SIGTERM";
    return false;
}

TRsyslog::~TRsyslog() {
    if (running_) {
        EXPECT_TRUE(Stop()) << "rsyslogd ended badly";
    }
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
}

std::string TRsyslog::Configuration(const std::string& unixFolder) const {
    return "global(workDirectory=\"" + unixFolder + "\" maxMessageSize=\"64k\"\n"
           "       parser.escapeControlCharactersOnReceive=\"off\")\n"
           "module(load=\"imtcp\")\nmodule(load=\"imudp\")\n"
           "input(type=\"imtcp\" address=\"127.0.0.1\" port=\"" + std::to_string(tcpPort_) + "\")\n"
           "input(type=\"imudp\" address=\"127.0.0.1\" port=\"" + std::to_string(udpPort_) + "\")\n"
           "template(name=\"every\" type=\"string\" string=\"%pri%|%timereported:::date-rfc3339%|"
           "%hostname%|%app-name%|%procid%|%msgid%|%structured-data%|%msg%\\n\")\n"
           "*.* action(type=\"omfile\" file=\"" + unixFolder + "/received.log\" template=\"every\")\n" + relay_;
}

size_t Occurrences(const std::string& received, const std::string& part) {
    size_t count = 0;
    for (size_t at = received.find(part); at != std::string::npos; at = received.find(part, at + 1)) ++count;
    return count;
}

std::string TRsyslog::ReceivedPath() const {
#ifdef _WIN32
    return folder_ + "\\received.log";
#else
    return folder_ + "/received.log";
#endif
}

std::string TRsyslog::Received() const {
    const std::string path = ReceivedPath();
    return FileExists(path) ? ReadWholeFile(path) : std::string();
}

}  // namespace norvale::test
