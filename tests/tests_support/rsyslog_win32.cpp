#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <thread>

#include "common/sockets.h"
#include "tests_support/rsyslog.h"
#include "tests_support/scratch.h"

// Under Wine a Windows program can start a Unix program, but the handle it
// gets is no real one: rsyslogd is watched through its port and its pid file,
// and stopped by starting kill.
namespace norvale::test {

namespace {

constexpr const char* kRsyslogd = "Z:\\usr\\sbin\\rsyslogd";

uint16_t FreePort(int type) {
    StartSockets();
    UniqueSocket probe(::socket(AF_INET, type, 0));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int size = sizeof address;
    ::bind(probe.get(), reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::getsockname(probe.get(), reinterpret_cast<sockaddr*>(&address), &size);
    return ntohs(address.sin_port);
}

bool Listening(uint16_t port) {
    UniqueSocket probe(::socket(AF_INET, SOCK_STREAM, 0));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    return ::connect(probe.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
}

// The Unix program's own handles mean nothing here.
bool StartUnixProgram(const std::string& path, std::string commandLine) {
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started{};
    if (!CreateProcessA(path.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &started)) {
        return false;
    }
    if (started.hThread != nullptr) CloseHandle(started.hThread);
    if (started.hProcess != nullptr) CloseHandle(started.hProcess);
    return true;
}

template <typename Condition>
bool Within20s(Condition done) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

std::string UnixPath(std::string path) {
    std::replace(path.begin(), path.end(), '\\', '/');
    return path.substr(2);
}

}  // namespace

bool TRsyslog::Available() { return std::filesystem::exists(kRsyslogd); }

TRsyslog::TRsyslog() : tcpPort_(FreePort(SOCK_STREAM)), udpPort_(FreePort(SOCK_DGRAM)) {
    // On drive Z:, which Wine maps to the Unix root, so rsyslogd finds it.
    folder_ = "Z:\\tmp\\norvale-rsyslog-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(tcpPort_);
    std::filesystem::create_directories(folder_);
    WriteWholeFile(folder_ + "\\rsyslog.conf", Configuration(UnixPath(folder_)));
}

TRsyslog::~TRsyslog() {
    if (running_) {
        EXPECT_TRUE(Stop()) << "rsyslogd ended badly";
    }
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
}

bool TRsyslog::Start() {
    const std::string unix = UnixPath(folder_);
    running_ = StartUnixProgram(kRsyslogd, "rsyslogd -n -f " + unix + "/rsyslog.conf -i " + unix + "/rsyslogd.pid");
    if (!running_ || !Within20s([&] { return Listening(tcpPort_); })) {
        ADD_FAILURE() << "rsyslogd did not listen on 127.0.0.1:" << tcpPort_ << " within 20 s";
        return false;
    }
    return true;
}

// rsyslogd removes its pid file when it ends in order.
bool TRsyslog::Stop() {
    running_ = false;
    const std::string pidFile = folder_ + "\\rsyslogd.pid";
    std::string pid = FileExists(pidFile) ? ReadWholeFile(pidFile) : std::string();
    while (!pid.empty() && (pid.back() == '\n' || pid.back() == '\r')) pid.pop_back();
    if (pid.empty() || !StartUnixProgram("Z:\\bin\\kill", "kill " + pid)) {
        ADD_FAILURE() << "rsyslogd left no pid file to stop it by";
        return false;
    }
    if (!Within20s([&] { return !FileExists(pidFile) && !Listening(tcpPort_); })) {
        ADD_FAILURE() << "rsyslogd did not end within 20 s of SIGTERM";
        return false;
    }
    return true;
}

}  // namespace norvale::test
