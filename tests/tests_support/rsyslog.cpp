// Winsock's header brings windows.h, after itself as it must.
#include "common/sockets.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "tests_support/rsyslog.h"
#include "tests_support/scratch.h"
#include "tests_support/wait_until.h"

namespace norvale::test {

namespace {

sockaddr_in Loopback(uint16_t port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    return address;
}

bool Listening(uint16_t port) {
    const UniqueSocket probe(::socket(AF_INET, SOCK_STREAM, 0));
    const sockaddr_in address = Loopback(port);
    return ::connect(probe.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
}

}  // namespace

uint16_t TRsyslog::FreePort(int type) {
    StartSockets();
    const UniqueSocket probe(::socket(AF_INET, type, 0));
    sockaddr_in address = Loopback(0);
    socklen_t size = sizeof address;
    ::bind(probe.get(), reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::getsockname(probe.get(), reinterpret_cast<sockaddr*>(&address), &size);
    return ntohs(address.sin_port);
}

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
           "*.* action(type=\"omfile\" file=\"" + unixFolder + "/received.log\" template=\"every\")\n";
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
