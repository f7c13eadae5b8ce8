// The `ListenAddress` option: one address or several, and why any other
// text leaves receiving off.

#include <gtest/gtest.h>

#include "receive/listen_address.h"

namespace norvale {
namespace {

TEST(ListenAddressTest, OneOrSeveralAddressesAndWhyOtherTextsAreNone) {
    using enum SyslogTransport;
    const ParsedListenAddress both = ParseListenAddress(" udp://0.0.0.0:5514 ; TCP://[::1];");
    ASSERT_EQ(both.problem, "");
    ASSERT_EQ(both.endpoints.size(), 2u);
    EXPECT_EQ(EndpointText(both.endpoints[0]), "udp://0.0.0.0:5514");
    EXPECT_EQ(EndpointText(both.endpoints[1]), "tcp://[::1]:514");
    const std::pair<const char*, const char*> bad[] = {
        {"", "Receiving is off: no listen address is set (udp://HOST:PORT or tcp://HOST:PORT)."},
        {" ; ", "Receiving is off: no listen address is set (udp://HOST:PORT or tcp://HOST:PORT)."},
        {"udp://0.0.0.0:514;0.0.0.0:514",
         "Receiving is off: the listen address \"0.0.0.0:514\" does not begin with \"udp://\" or \"tcp://\"."},
        {"tcp://0.0.0.0:99999",
         "Receiving is off: the listen address \"tcp://0.0.0.0:99999\" has a port that is not a number from 1 to "
         "65535."},
    };
    for (const auto& [text, problem] : bad) {
        const ParsedListenAddress parsed = ParseListenAddress(text);
        EXPECT_TRUE(parsed.endpoints.empty()) << text;
        EXPECT_EQ(parsed.problem, problem);
    }
}

}  // namespace
}  // namespace norvale
