// SPDX-License-Identifier: MIT
// IPv4 addresses as text read exactly as the C library's inet_aton reads them, so that every
// spelling a user may give names one address, and nothing else passes for one.
#include <arpa/inet.h>
#include <gtest/gtest.h>

#include "base/Ipv4Text.h"

namespace corvelle {
namespace {

TEST(Ipv4Text, EveryFormInetAtonTakesAndNothingElse) {
  for (const char* text :
       {"127.0.0.1", "127.1", "127.0.1", "2130706433", "0x7f000001", "0X7F.1", "0177.0.0.01", "0x7f.0.0.0x1", "0", "0x",
        "0x.0x.0x.0x", "00", "255.255.255.255", "255.16777215", "255.255.65535", "4294967295", "256.0.0.1", "1.256.0.1",
        "1.2.65536", "1.16777216", "4294967296", "0x100000000", "08", "09.1", "0xg", "1..2", "1.2.3.", ".1.2.3",
        "1.2.3.4.5", "", "a", "localhost", "::1", "1.2.3.4x", "+1", "-1", "1.-2", "99999999999999999999",
        "0x0000000000000000000001", "000000000000000000000000177.1"}) {
    SCOPED_TRACE(text);
    in_addr expected{};
    const bool valid = ::inet_aton(text, &expected) != 0;
    const auto parsed = ParseIPv4(text);
    ASSERT_EQ(parsed.has_value(), valid);
    if (valid) {
      EXPECT_EQ(*parsed, ntohl(expected.s_addr));
    }
  }
  EXPECT_EQ(DottedDecimal(0x7F000001), "127.0.0.1");
  EXPECT_EQ(DottedDecimal(0xFFFFFFFF), "255.255.255.255");
  EXPECT_EQ(DottedDecimal(0), "0.0.0.0");
}

}  // namespace
}  // namespace corvelle
