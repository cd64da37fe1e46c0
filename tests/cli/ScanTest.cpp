// SPDX-License-Identifier: MIT
// corvelle-cli scan: the addresses a range stands for and the lines printed for them, then the
// program itself over loopback ranges only (127.0.0.0/8 answers echo on every address), with
// listeners on some of the addresses, and stopped midway.
#include "base/Ipv4Text.h"
#include "cli/CliKit.h"
#include "cli/ScanRanges.h"
#include "support/Loopback.h"

namespace corvelle {
namespace {

std::string Scanned(const std::vector<std::string>& ranges) {
  std::string text;
  const auto addresses = cli::ScanAddresses(ranges);
  if (!addresses) return "error: " + addresses.Failure().message;
  for (const std::uint32_t address : *addresses) text += DottedDecimal(address) + " ";
  return text;
}

TEST(ScanRanges, NetworkAndBroadcastLeftOutButNotOfAPairOrOneAddressAndAtMostASlash16InAll) {
  // One address is scanned as given, host bits below the prefix are ignored, and overlaps are
  // scanned once, in the order the ranges name them.
  for (const auto& [ranges, expected] : std::vector<std::pair<std::vector<std::string>, std::string>>{
           {{"192.0.2.0/29"}, "192.0.2.1 192.0.2.2 192.0.2.3 192.0.2.4 192.0.2.5 192.0.2.6 "},
           {{"192.0.2.4/30"}, "192.0.2.5 192.0.2.6 "}, {{"192.0.2.4/31"}, "192.0.2.4 192.0.2.5 "},
           {{"192.0.2.7/32"}, "192.0.2.7 "}, {{"192.0.2.255"}, "192.0.2.255 "},
           {{"192.0.2.13/29"}, Scanned({"192.0.2.8/29"})},
           {{"192.0.2.6", "192.0.2.4/30", "192.0.2.5"}, "192.0.2.6 192.0.2.5 "}})
    EXPECT_EQ(Scanned(ranges), expected) << ranges[0];
  // At most a /16 in all, and only ranges that read whole.
  const auto sixteen = cli::ScanAddresses({"10.1.0.0/16"});
  ASSERT_TRUE(sixteen) << sixteen.Failure().message;
  EXPECT_EQ(sixteen->size(), 65534u);
  EXPECT_EQ(DottedDecimal(sixteen->front()) + " " + DottedDecimal(sixteen->back()), "10.1.0.1 10.1.255.254");
  EXPECT_EQ(Scanned({"10.1.0.0/17", "10.2.0.0/17"}).rfind("error", 0), std::string::npos) << "two halves make a /16";
  for (const std::vector<std::string>& ranges : std::vector<std::vector<std::string>>{
           {"10.0.0.0/15"}, {"10.1.0.0/16", "10.2.0.1"}, {"0.0.0.0/0"}})
    EXPECT_EQ(Scanned(ranges).rfind("error: at most 65536 addresses (a /16) are scanned in all", 0), 0u) << ranges.back();
  for (const char* range : {"10.0.0.0/33", "10.0.0.0/", "10.0.0.0/2a", "10.0.0.0/-1", "printer/24", "10.0.0.0/24/8",
                            "", "::1/128"}) {
    EXPECT_EQ(Scanned({range}), "error: '" + std::string(range) +
                                    "' is not an IPv4 range (ADDR/PREFIX such as 192.0.2.0/24, or one address)");
  }
}

// An address that answered neither is not printed, one without echo is; loopback answers echo
// on every address, so the command's own runs below never see that line.
TEST(ScanCommand, ALoopbackRangeWithListenersOnSomeAddresses) {
  const std::uint32_t address = 0xC0000207;  // 192.0.2.7
  EXPECT_EQ(cli::ScanLine({address, false, false}, 4001) + cli::InventoryRow({address, false, false}, 4001), "");
  EXPECT_EQ(cli::ScanLine({address, false, true}, 9100), "192.0.2.7:9100\tno echo\topen\n");
  test::CliKit kit;
  const test::LoopbackPort first(8, 0x7F4D0002);  // 127.77.0.2
  ASSERT_NE(first.port, 0);
  const test::LoopbackPort second(8, 0x7F4D0005, first.port);
  ASSERT_EQ(second.port, first.port);
  const std::string p = std::to_string(first.port);
  std::string expected;
  for (int host = 1; host <= 6; ++host)
    expected += "127.77.0." + std::to_string(host) + ":" + p + "\techo\t" + (host == 2 || host == 5 ? "open" : "closed") + "\n";
  const test::Finished lines = kit.Run({"scan", "--port", p, "127.77.0.0/29"});
  EXPECT_EQ(std::tie(lines.exit, lines.out, lines.err), std::make_tuple(0, expected, std::string())) << lines.err;
  const test::Finished rows = kit.Run({"scan", "--csv", "--port", p, "--jobs", "1", "127.77.0.5/32", "127.77.0.2/31"});
  EXPECT_EQ(rows.exit, 0) << rows.err;
  EXPECT_EQ(rows.out, "name,site,address,port,selection,legacy,enabled\n,,127.77.0.5," + p + ",,,1\n,,127.77.0.2," + p +
                          ",,,1\n,,127.77.0.3," + p + ",,,0\n");
  for (const std::vector<std::string>& usage : std::vector<std::vector<std::string>>{
           {"scan"}, {"scan", "127.0.0.0/15"}, {"scan", "--port", "0", "127.0.0.1"}, {"scan", "--jobs", "1025", "127.0.0.1"}}) {
    const test::Finished refused = kit.Run(usage);
    EXPECT_EQ(std::tie(refused.exit, refused.out), std::make_tuple(2, std::string())) << usage.back();
  }
  // Ctrl-C stops a scan midway, after what was found.
  // A whole /16 one address at a time; Ctrl-C once the first lines are out. (A run still going 5 s
  // after it is killed, which shows as no exit status.)
  const test::Finished stopped =
      kit.Run({"scan", "--jobs", "1", "--port", "9", "127.78.0.0/16"}, [](const test::Finished& f) { return !f.out.empty(); });
  EXPECT_EQ(std::tie(stopped.exit, stopped.err), std::make_tuple(1, std::string("Scan stopped.\n")));
  ASSERT_EQ(stopped.out.rfind("127.78.0.1:9\techo\tclosed\n", 0), 0u) << stopped.out.substr(0, 200);
  EXPECT_TRUE(stopped.out.size() < 65534 * 24u && stopped.out.back() == '\n');
}

}  // namespace
}  // namespace corvelle
