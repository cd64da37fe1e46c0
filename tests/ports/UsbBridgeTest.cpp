// SPDX-License-Identifier: MIT
// The USB kind through the real libftdi1 and the stand-in libusb-1.0: the bridge found by its
// description among several devices of any IDs, the control requests at open and at Purge, XOFF
// from the simulator holding the writes until XON, and STOP while XOFF is held, in real time.
#include <gtest/gtest.h>

#include <chrono>
#include <ctime>

#include "ports/DevicePort.h"
#include "ports/PortKit.h"
#include "support/Elapsed.h"
#include "support/TempDir.h"
#include "tools/SimProcess.h"
#include "tools/UsbStandin.h"

namespace corvelle {
namespace {

using test::Clock;
using test::UsbStandin;

class UsbBridge : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(UsbStandin::Loaded()) << UsbStandin::Hint(); }

  // The simulator on the stand-in's socket, with `options` besides.
  std::unique_ptr<test::SimProcess> StartSimulator(std::vector<std::string> options = {}) {
    options.insert(options.begin(), {"--usb", usb.Socket()});
    auto sim = std::make_unique<test::SimProcess>(options);
    EXPECT_TRUE(sim->Started());
    return sim;
  }
  // The simulator holding XOFF after `after` bytes for `ms`, and the port open to it; the waits
  // sleep, so that the simulator's hold and the CPU they cost are real.
  std::unique_ptr<test::SimProcess> OpenToXoff(const char* after, const char* ms) {
    auto sim = StartSimulator({"--usb-xoff-after", after, "--usb-xoff-for", ms});
    host.realSleepMs = 60'000;
    EXPECT_TRUE(port.Open(test::Args("USB")));
    return sim;
  }

  // The announcement of an area of `length` bytes and its data, written in 512-byte chunks as a
  // download writes them; false at the first write that fails.
  bool SendArea(CDevicePort& port, std::size_t length) {
    const std::string announcement = "?Z:&" + std::to_string(length) + "\n";
    if (!port.Write(announcement.data(), announcement.size())) return false;
    const std::string chunk(512, 'k');
    for (std::size_t sent = 0; sent < length; sent += chunk.size())
      if (!port.Write(chunk.data(), std::min(chunk.size(), length - sent))) return false;
    return true;
  }

  test::TempDir dir;
  UsbStandin usb{dir.Path()};
  test::FakeHost host;
  CDevicePort port{host, {}};
};

TEST_F(UsbBridge, OpenPurgeAndCloseAndTheBridgeFoundByItsExactDescriptionAmongDevicesOfAnyIds) {
  // Others listed before the bridge: a stock FTDI ID, a device with no product string, a near miss.
  const std::string others = "0403:6001:FT232R USB UART;1a86:7523;0403:6015:Varnesi Bridge GN";
  // Bridge IDs, bridge description, simulator socket present: the device claimed, or "" and the message.
  const std::tuple<const char*, const char*, bool, const char*, const char*> cases[] = {
      {"", "", true, "claim 0403:7c10 Varnesi Bridge GN2", ""},  // the stand-in's default, not a stock ID
      {"0403:6001", "", true, "claim 0403:6001 Varnesi Bridge GN2", ""},
      {"1a86:55d4", "", true, "claim 1a86:55d4 Varnesi Bridge GN2", ""},  // another vendor altogether
      {"", "Varnesi Bridge GN2 ", true, "", "error: USB device opening error #02\n"},
      {"", "varnesi bridge gn2", true, "", "error: USB device opening error #02\n"},
      {"", "", false, "", "error: USB device opening error #02\n"},  // no simulator: no device
  };
  auto sim = StartSimulator();
  // The bridge alone: open resets it and purges the receive side, Purge empties both, Close releases.
  ASSERT_TRUE(port.Open(test::Args("USB1")));
  // libftdi's own open resets the chip and sets 9600 baud; then the bridge's latency timer is
  // shortened, and the port resets the device and purges what it has received.
  EXPECT_EQ(usb.Record("control"),
            (std::vector<std::string>{"control reset", "control baud-rate 4138 0000", "control latency 1",
                                      "control reset", "control purge-receive"}));
  const std::size_t opened = usb.Record().size();
  ASSERT_TRUE(port.WriteText("x"));
  port.Purge();
  port.Close();
  EXPECT_EQ(usb.Record(opened), (std::vector<std::string>{"out 1", "control purge-receive", "control purge-transmit",
                                                        "release 0403:7c10"}));
  EXPECT_EQ(test::Shown(host), "");
  usb.Set("DEVICES", others);
  for (const auto& [ids, description, present, claimed, shown] : cases) {
    usb.Set("PRODUCT", ids);
    usb.Set("DESCRIPTION", description);
    usb.Set("SIM", present ? usb.Socket() : dir.File("no-simulator"));
    test::FakeHost fresh;  // a port of its own for each bridge
    CDevicePort one(fresh, {});
    const std::size_t mark = usb.Record().size();
    EXPECT_EQ(test::Said(fresh, one.Open(test::Args("USB"))).Ok(), *claimed != '\0') << ids << description;
    one.Close();
    // Only the bridge is opened.
    EXPECT_EQ(usb.Record("claim", mark), *claimed ? std::vector<std::string>{claimed} : std::vector<std::string>{});
    EXPECT_EQ(test::Shown(fresh), shown);
  }
}

TEST_F(UsbBridge, XoffFromThePrinterHoldsTheWritesUntilXon) {
  auto sim = OpenToXoff("3000", "300");
  const auto start = Clock::now();
  ASSERT_TRUE(SendArea(port, 20000));
  const auto took = Clock::now() - start;
  port.Close();
  EXPECT_GE(took, std::chrono::milliseconds(290));
  const auto xoff = sim->Next("xoff");
  EXPECT_TRUE(test::EventNumber(xoff, "bytes") == 3000 && test::EventFlag(xoff, "delivered"));
  EXPECT_TRUE(test::EventFlag(sim->Next("xon"), "delivered"));
  const auto area = sim->Next("area_received");
  EXPECT_TRUE(test::EventFlag(area, "complete")) << test::EventNumber(area, "bytes");
  // What came back from the printer, and what went out meanwhile: nothing between XOFF and XON.
  std::vector<std::string> flow;
  for (const std::string& line : usb.Record()) {
    if (line.starts_with("in ")) flow.push_back(line);
    if (line.starts_with("out ") && !flow.empty() && flow.back().starts_with("in 13")) flow.push_back("out");
  }
  EXPECT_EQ(flow, (std::vector<std::string>{"in 13", "in 11"}));
}

TEST_F(UsbBridge, StopWhileXoffIsHeldEndsTheWriteWithinASecondWithoutSpendingCpu) {
  // XON after 5 s, so a wait that missed STOP ends and fails the timing rather than hanging.
  auto sim = OpenToXoff("1000", "5000");
  const auto stopAt = Clock::now() + std::chrono::milliseconds(1500);
  port.SetCancelCheck([&] { return Clock::now() >= stopAt; });
  const std::clock_t cpu = std::clock();
  EXPECT_FALSE(SendArea(port, 20000));
  const auto late = Clock::now() - stopAt;
  const double spent = static_cast<double>(std::clock() - cpu) / CLOCKS_PER_SEC;
  port.Close();
  EXPECT_TRUE(late < std::chrono::seconds(1) && spent < 0.2) << spent << " seconds of CPU over 1.5 s of XOFF";
  EXPECT_EQ(test::EventNumber(sim->Next("xoff"), "bytes"), 1000);
  EXPECT_EQ(test::Shown(host), "") << "STOP is no error";
}

}  // namespace
}  // namespace corvelle
