// The `ListenAllow` option: which senders each form of entry lets in, at
// every bound, and why any other text lets nobody in.

#include <gtest/gtest.h>

#include <tuple>

#include "receive/sender_allow.h"

namespace norvale {
namespace {

// A sender as a socket gives it: four bytes, or sixteen.
SenderAddress Sender(std::initializer_list<uint8_t> bytes) {
    const std::vector<uint8_t> held(bytes);
    return SenderAddressOf(held);
}

// An IPv6 sender written as text, read by the parser that the texts' own
// rows pin.
SenderAddress Sender6(const char* text) { return ParseSenderAllow(text).allow.networks.at(0).address; }

TEST(SenderAllowTest, EveryFormLetsInItsSendersAlone) {
    const SenderAddress mapped10 = Sender({0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xff, 0xff, 10, 0, 0, 1});
    const struct {
        const char* text;
        SenderAddress sender;
        bool allowed;
    } rows[] = {
        {"", Sender({192, 0, 2, 7}), true}, {" ; ;", Sender6("::1"), true},
        {"192.0.2.7", Sender({192, 0, 2, 7}), true}, {"192.0.2.7", Sender({192, 0, 2, 8}), false},
        {"192.0.2.7/32", Sender({192, 0, 2, 6}), false}, {"10.0.0.0/8", Sender({10, 255, 1, 2}), true},
        {"10.0.0.0/8", Sender({11, 0, 0, 0}), false}, {"192.0.2.128/25", Sender({192, 0, 2, 128}), true},
        {"192.0.2.128/25", Sender({192, 0, 2, 127}), false}, {"0.0.0.0/0", Sender({255, 255, 255, 255}), true},
        {"0.0.0.0/0", Sender6("::1"), false}, {"255.255.255.255", Sender({255, 255, 255, 255}), true},
        {" 10.0.0.1 ;2001:db8::1 ", Sender6("2001:db8::1"), true}, {"2001:db8::/32", Sender6("2001:db8:ffff::1"), true},
        {"2001:DB8::/32", Sender6("2001:db9::"), false}, {"::1", Sender6("::1"), true}, {"::1", Sender6("::"), false},
        {"[::1]/128", Sender6("::1"), true}, {"fe80::/10", Sender6("febf::1"), true},
        {"fe80::/10", Sender6("fec0::1"), false}, {"1:2:3:4:5:6:7:8", Sender6("1:2:3:4:5:6:7:8"), true},
        {"1:2:3:4:5:6:7::", Sender6("1:2:3:4:5:6:7:0"), true}, {"::/0", Sender({192, 0, 2, 7}), true},
        {"::/0", Sender6("ffff::"), true}, {"10.0.0.1", Sender6("::a00:1"), false},
        // An IPv4 peer of an IPv6 socket comes mapped, and is its IPv4 address.
        {"10.0.0.1", mapped10, true}, {"10.0.0.2", mapped10, false},
        {"::ffff:10.0.0.0/104", Sender({10, 1, 2, 3}), true}, {"::ffff:10.0.0.0/104", Sender({11, 0, 0, 0}), false},
        {"::ffff:a00:1", Sender({10, 0, 0, 1}), true},
    };
    for (const auto& row : rows) {
        const ParsedSenderAllow parsed = ParseSenderAllow(row.text);
        ASSERT_EQ(parsed.problem, "") << row.text;
        EXPECT_EQ(parsed.allow.Allows(row.sender), row.allowed) << row.text << " row " << (&row - rows);
    }
    EXPECT_FALSE(mapped10.v6);
    EXPECT_TRUE(Sender6("::ffff:0:a00:1").v6);
}

TEST(SenderAllowTest, AnyOtherTextSaysWhyAndLetsNobodyIn) {
    const std::string address = "is no IPv4 or IPv6 address (192.0.2.7, 10.0.0.0/8, 2001:db8::/32).";
    const std::string prefix = "has a prefix length that is not a number from 0 to ";
    // The text, and the entry the problem names when it is not the whole text.
    const std::tuple<const char*, const char*, std::string> rows[] = {
        {"10.0.0.0/33", "", prefix + "32."}, {"::/129", "", prefix + "128."}, {"10.0.0.0/", "", prefix + "32."},
        {"10.0.0.0/+8", "", prefix + "32."}, {"10.0.0.0/0008", "", prefix + "32."}, {"256.0.0.1", "", address},
        {"10.0.0", "", address}, {"010.0.0.1", "", address}, {"1.2.3.4.5", "", address}, {"1.2.3.-4", "", address},
        {"host.example", "", address}, {"1:2:3:4:5:6:7:8:9", "", address}, {"1:2:3:4:5:6:7", "", address},
        {"1:2:3:4:5:6:7::8", "", address}, {"1::2::3", "", address}, {"12345::", "", address}, {":1::", "", address},
        {"1:", "", address}, {"::g", "", address}, {"::ffff:1.2.3", "", address}, {"1.2.3.4::", "", address},
        {"[::1", "", address}, {"10.0.0.1; bad", "bad", address},
    };
    for (const auto& [text, named, why] : rows) {
        const ParsedSenderAllow parsed = ParseSenderAllow(text);
        EXPECT_EQ(parsed.problem,
                  "Receiving is off: the allowed sender \"" + std::string(*named ? named : text) + "\" " + why);
        EXPECT_TRUE(parsed.allow.networks.empty()) << text;
    }
}

}  // namespace
}  // namespace norvale
