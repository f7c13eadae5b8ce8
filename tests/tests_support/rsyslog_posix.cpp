#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>

#include "tests_support/loopback.h"
#include "tests_support/rsyslog.h"
#include "tests_support/scratch.h"

namespace norvale::test {

namespace {

constexpr const char* kRsyslogd = "/usr/sbin/rsyslogd";

}  // namespace

bool TRsyslog::Available() { return std::filesystem::exists(kRsyslogd); }

TRsyslog::TRsyslog(std::string relay)
    : relay_(std::move(relay)), tcpPort_(FreePort(SOCK_STREAM)), udpPort_(FreePort(SOCK_DGRAM)) {
    folder_ = "/tmp/norvale-rsyslog-" + std::to_string(::getpid()) + "-" + std::to_string(tcpPort_);
    std::filesystem::create_directories(folder_);
    WriteWholeFile(folder_ + "/rsyslog.conf", Configuration(folder_));
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
    running_ = pid > 0;
    return running_ && AwaitStarted(pidFile);
}

bool TRsyslog::Stop() {
    running_ = false;
    const auto pid = static_cast<pid_t>(pid_);
    ::kill(pid, SIGTERM);
    const bool inOrder = AwaitEnd(folder_ + "/rsyslogd.pid");
    if (!inOrder) ::kill(pid, SIGKILL);
    // Bounded: it has ended, or was just killed.
    int status = 0;
    ::waitpid(pid, &status, 0);
    return inOrder && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace norvale::test
