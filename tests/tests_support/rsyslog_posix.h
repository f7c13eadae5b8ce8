#pragma once

// A real rsyslog of the test's own: `rsyslogd -n` in the foreground with a
// configuration, pid file and work folder in a scratch folder, listening on
// free TCP and UDP ports of 127.0.0.1 only, writing every message it receives
// to a file with a template that keeps every field:
//   PRI|TIMESTAMP|HOSTNAME|APP-NAME|PROCID|MSGID|STRUCTURED-DATA|MSG
// one record a line (a message's own line feeds stay).

#include <sys/types.h>

#include <cstdint>
#include <string>

#include "tests_support/scratch.h"

namespace norvale::test {

class TRsyslog {
public:
    TRsyslog();
    // Stops it and checks that it ended well.
    ~TRsyslog();
    TRsyslog(const TRsyslog&) = delete;
    TRsyslog& operator=(const TRsyslog&) = delete;

    // Starts it; false (with a failure reported) when it did not listen
    // within 20 s.
    bool Start();
    // SIGTERM, and a bounded wait for its end; false when it ended badly.
    bool Stop();

    uint16_t TcpPort() const { return tcpPort_; }
    uint16_t UdpPort() const { return udpPort_; }
    std::string Received() const;

private:
    ScratchDirectory dir_;
    uint16_t tcpPort_;
    uint16_t udpPort_;
    pid_t pid_ = 0;
};

}  // namespace norvale::test
