#include "tests_support/rsyslog_posix.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace norvale::test {

namespace {

// A port the system just handed out for `type`; free again once closed.
uint16_t FreePort(int type) {
    const int probe = ::socket(AF_INET, type, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    ::bind(probe, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::getsockname(probe, reinterpret_cast<sockaddr*>(&address), &size);
    ::close(probe);
    return ntohs(address.sin_port);
}

bool Listening(uint16_t port) {
    const int probe = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    const bool connected = ::connect(probe, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    ::close(probe);
    return connected;
}

}  // namespace

TRsyslog::TRsyslog() : tcpPort_(FreePort(SOCK_STREAM)), udpPort_(FreePort(SOCK_DGRAM)) {
    std::string folder = dir_.PathOf("");
    // rsyslog takes the folder without its trailing separator, and says so.
    folder.pop_back();
    WriteWholeFile(dir_.PathOf("rsyslog.conf"),
                   "global(workDirectory=\"" + folder + "\" maxMessageSize=\"64k\"\n"
                   "       parser.escapeControlCharactersOnReceive=\"off\")\n"
                   "module(load=\"imtcp\")\nmodule(load=\"imudp\")\n"
                   "input(type=\"imtcp\" address=\"127.0.0.1\" port=\"" + std::to_string(tcpPort_) + "\")\n"
                   "input(type=\"imudp\" address=\"127.0.0.1\" port=\"" + std::to_string(udpPort_) + "\")\n"
                   "template(name=\"every\" type=\"string\" string=\"%pri%|%timereported:::date-rfc3339%|"
                   "%hostname%|%app-name%|%procid%|%msgid%|%structured-data%|%msg%\\n\")\n"
                   "*.* action(type=\"omfile\" file=\"" + dir_.PathOf("received.log") + "\" template=\"every\")\n");
}

TRsyslog::~TRsyslog() {
    if (pid_ != 0) {
        EXPECT_TRUE(Stop()) << "rsyslogd ended badly";
    }
}

bool TRsyslog::Start() {
    const std::string conf = dir_.PathOf("rsyslog.conf");
    const std::string pidFile = dir_.PathOf("rsyslogd.pid");
    pid_ = ::fork();
    if (pid_ == 0) {
        ::execl("/usr/sbin/rsyslogd", "rsyslogd", "-n", "-f", conf.c_str(), "-i", pidFile.c_str(), nullptr);
        ::_exit(127);
    }
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!Listening(tcpPort_)) {
        if (std::chrono::steady_clock::now() > end) {
            ADD_FAILURE() << "rsyslogd did not listen on 127.0.0.1:" << tcpPort_ << " within 20 s";
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

bool TRsyslog::Stop() {
    ::kill(pid_, SIGTERM);
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    int status = 0;
    while (::waitpid(pid_, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > end) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, &status, 0);
            ADD_FAILURE() << "rsyslogd did not end within 20 s of SIGTERM";
            pid_ = 0;
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    pid_ = 0;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

std::string TRsyslog::Received() const {
    return FileExists(dir_.PathOf("received.log")) ? ReadWholeFile(dir_.PathOf("received.log")) : std::string();
}

}  // namespace norvale::test
