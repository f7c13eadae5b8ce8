// Winsock's header brings windows.h, after itself as it must.
#include "common/sockets.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "tests_support/loopback.h"
#include "tests_support/rsyslog.h"
#include "tests_support/scratch.h"
#include "tests_support/unix_program.h"

// rsyslogd is watched through its port and its pid file, and stopped by
// starting kill.
namespace norvale::test {

namespace {

constexpr const char* kRsyslogd = "Z:\\usr\\sbin\\rsyslogd";

}  // namespace

bool TRsyslog::Available() { return std::filesystem::exists(kRsyslogd); }

TRsyslog::TRsyslog(std::string relay)
    : relay_(std::move(relay)), tcpPort_(FreePort(SOCK_STREAM)), udpPort_(FreePort(SOCK_DGRAM)) {
    // On drive Z:, which Wine maps to the Unix root, so rsyslogd finds it.
    folder_ = "Z:\\tmp\\norvale-rsyslog-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(tcpPort_);
    std::filesystem::create_directories(folder_);
    WriteWholeFile(folder_ + "\\rsyslog.conf", Configuration(UnixPath(folder_)));
}

bool TRsyslog::Start() {
    const std::string unix = UnixPath(folder_);
    running_ = StartUnixProgram(kRsyslogd, "rsyslogd -n -f " + unix + "/rsyslog.conf -i " + unix + "/rsyslogd.pid");
    return running_ && AwaitStarted(folder_ + "\\rsyslogd.pid");
}

bool TRsyslog::Stop() {
    running_ = false;
    const std::string pidFile = folder_ + "\\rsyslogd.pid";
    std::string pid = FileExists(pidFile) ? ReadWholeFile(pidFile) : std::string();
    while (!pid.empty() && (pid.back() == '\n' || pid.back() == '\r')) pid.pop_back();
    if (pid.empty() || !StartUnixProgram("Z:\\bin\\kill", "kill " + pid)) {
        ADD_FAILURE() << "rsyslogd left no pid file to stop it by";
        return false;
    }
    return AwaitEnd(pidFile);
}

}  // namespace norvale::test
