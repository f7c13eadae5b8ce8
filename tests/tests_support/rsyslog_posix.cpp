#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "tests_support/rsyslog.h"
#include "tests_support/scratch.h"

namespace norvale::test {

namespace {

constexpr const char* kRsyslogd = "/usr/sbin/rsyslogd";

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

bool TRsyslog::Available() { return std::filesystem::exists(kRsyslogd); }

TRsyslog::TRsyslog() : tcpPort_(FreePort(SOCK_STREAM)), udpPort_(FreePort(SOCK_DGRAM)) {
    folder_ = "/tmp/norvale-rsyslog-" + std::to_string(::getpid()) + "-" + std::to_string(tcpPort_);
    std::filesystem::create_directories(folder_);
    WriteWholeFile(folder_ + "/rsyslog.conf", Configuration(folder_));
}

TRsyslog::~TRsyslog() {
    if (running_) {
        EXPECT_TRUE(Stop()) << "rsyslogd ended badly";
    }
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
}

bool TRsyslog::Start() {
    const std::string conf = folder_ + "/rsyslog.conf";
    const std::string pidFile = folder_ + "/rsyslogd.pid";
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::execl(kRsyslogd, "rsyslogd", "-n", "-f", conf.c_str(), "-i", pidFile.c_str(), nullptr);
        ::_exit(127);
    }
    pid_ = pid;
    running_ = true;
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
    running_ = false;
    const auto pid = static_cast<pid_t>(pid_);
    ::kill(pid, SIGTERM);
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    int status = 0;
    while (::waitpid(pid, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > end) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            ADD_FAILURE() << "rsyslogd did not end within 20 s of SIGTERM";
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace norvale::test
