#pragma once

// A real rsyslog of the test's own: `rsyslogd -n` in the foreground with a
// configuration, pid file and work folder in a folder of the test's, listening
// on free TCP and UDP ports of 127.0.0.1 only, writing every message it
// receives to a file with a template that keeps every field:
//   PRI|TIMESTAMP|HOSTNAME|APP-NAME|PROCID|MSGID|STRUCTURED-DATA|MSG
// one record a line (a message's own line feeds stay). Under Wine the
// Windows tests start the same Debian rsyslogd.

#include <cstdint>
#include <string>

namespace norvale::test {

// How often `part` occurs in what rsyslog wrote.
size_t Occurrences(const std::string& received, const std::string& part);

class TRsyslog {
public:
    // Whether the machine has rsyslogd.
    static bool Available();

    // `relay`: further actions of the configuration, such as forwarding
    // everything it receives elsewhere.
    explicit TRsyslog(std::string relay = {});
    // Stops it if it runs, checking that it ended in order; removes its folder.
    ~TRsyslog();
    TRsyslog(const TRsyslog&) = delete;
    TRsyslog& operator=(const TRsyslog&) = delete;

    // False (with a failure reported) when it did not listen and write its
    // pid file within 20 s.
    bool Start();
    // SIGTERM, and a bounded wait for its end; false when it ended badly.
    bool Stop();

    uint16_t TcpPort() const { return tcpPort_; }
    uint16_t UdpPort() const { return udpPort_; }
    std::string Received() const;
    std::string ReceivedPath() const;

private:
    // Bounded waits; each reports its failure. The port alone answers before
    // rsyslogd has written its pid file, which stopping it needs, and a free
    // port handed out to a test beside this one may be that test's.
    bool AwaitStarted(const std::string& pidFile) const;
    // rsyslogd removes its pid file when it ends in order.
    bool AwaitEnd(const std::string& pidFile) const;
    // `unixFolder`: the folder as rsyslogd names it.
    std::string Configuration(const std::string& unixFolder) const;

    const std::string relay_;
    uint16_t tcpPort_;
    uint16_t udpPort_;
    std::string folder_;  // as this platform names it
    bool running_ = false;
    long long pid_ = 0;
};

}  // namespace norvale::test
