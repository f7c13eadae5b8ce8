#include "tests_support/rsyslog.h"

#include "tests_support/scratch.h"

namespace norvale::test {

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

std::string TRsyslog::Received() const {
#ifdef _WIN32
    const std::string path = folder_ + "\\received.log";
#else
    const std::string path = folder_ + "/received.log";
#endif
    return FileExists(path) ? ReadWholeFile(path) : std::string();
}

}  // namespace norvale::test
