// SPDX-License-Identifier: MIT
// The USB kind over a scripted bridge library: the calls it makes, open, purge, write and
// queue-status failures, and the XON/XOFF permission to send.
#include <gtest/gtest.h>

#include <cstring>
#include <deque>

#include "ports/DevicePort.h"
#include "ports/PortKit.h"
#include "ports/UsbBackend.h"

namespace corvelle {
namespace {

// The fake bridge library's script and record: each block is what one queue-status call finds
// waiting, and what the read after it gets.
struct Bridge {
  struct Block {
    std::string bytes;
    int readStatus = kD2xxOk;
  };
  std::deque<Block> blocks;
  std::deque<int> queueStatuses;  // what the queue-status calls answer in turn; then 0
  int openStatus = kD2xxOk, purgeStatus = kD2xxOk, writeStatus = kD2xxOk;
  std::string calls;
};

class FakeD2xx : public D2xx {
 public:
  explicit FakeD2xx(Bridge& bridge) : m(bridge) {}
  int OpenEx(const std::string& name, unsigned flags, D2xxHandle* h) override {
    return Call("open " + name + " " + std::to_string(flags), *h = 77, m.openStatus);
  }
  int ResetDevice(D2xxHandle h) override { return Call("reset", h); }
  int SetTimeouts(D2xxHandle h, unsigned r, unsigned) override { return Call("timeouts " + std::to_string(r), h); }
  int Purge(D2xxHandle h, unsigned mask) override { return Call("purge " + std::to_string(mask), h, m.purgeStatus); }
  int Write(D2xxHandle h, const void* buffer, unsigned count, unsigned* written) override {
    *written = m.writeStatus == kD2xxOk ? count : 0;
    return Call("write " + std::string(static_cast<const char*>(buffer), count), h, m.writeStatus);
  }
  int GetQueueStatus(D2xxHandle h, unsigned* waiting) override {
    if (!m.queueStatuses.empty()) {
      const int status = m.queueStatuses.front();
      m.queueStatuses.pop_front();
      return Call("status", h, status);
    }
    *waiting = m.blocks.empty() ? 0 : static_cast<unsigned>(m.blocks.front().bytes.size());
    if (!m.blocks.empty() && *waiting == 0) m.blocks.pop_front();
    return Call("status", h);
  }
  int Read(D2xxHandle h, void* buffer, unsigned count, unsigned* read) override {
    const Bridge::Block block = m.blocks.front();
    m.blocks.pop_front();
    *read = std::min(count, static_cast<unsigned>(block.bytes.size()));
    std::memcpy(buffer, block.bytes.data(), *read);
    return Call("read " + std::to_string(count), h, block.readStatus);
  }
  int Close(D2xxHandle h) override { return Call("close", h); }

 private:
  int Call(const std::string& name, D2xxHandle h, int status = kD2xxOk) {
    m.calls += name + "; ";
    return h == 77 ? status : kD2xxInvalidHandle;
  }
  Bridge& m;
};

struct UsbFixture : ::testing::Test {
  Bridge bridge;
  test::FakeHost host;
  CDevicePort port{
      host, test::Env([this](auto& e) { e.usbLibrary = [this] { return std::make_unique<FakeD2xx>(bridge); }; })};
};

TEST_F(UsbFixture, OpenFindsTheBridgeByDescriptionAndFailuresShowTheirStatusWithTwoDigits) {
  ASSERT_TRUE(port.Open(test::Args("USB")));
  port.Purge();
  port.Close();
  bridge.openStatus = kD2xxDeviceNotOpened;
  EXPECT_FALSE(Said(host, port.Open(test::Args("USB"))));
  bridge.openStatus = kD2xxOk;
  bridge.purgeStatus = 14;
  EXPECT_FALSE(Said(host, port.Open(test::Args("USB"))));
  const std::string open = "open Varnesi Bridge GN2 2; reset; timeouts 3000; purge 1; ";
  EXPECT_EQ(bridge.calls, open + "purge 3; close; open Varnesi Bridge GN2 2; " + open + "close; ")
      << "a bridge that failed its purge is released at once";
  bridge.purgeStatus = kD2xxOk;
  bridge.writeStatus = kD2xxIoError;
  ASSERT_TRUE(port.Open(test::Args("USB")));
  EXPECT_FALSE(Said(host, port.Write("abc", 3)));
  EXPECT_FALSE(Said(host, port.Write("abc", 3)));
  EXPECT_EQ(bridge.calls.find("write"), bridge.calls.rfind("write")) << "nothing is written after a failure";
  EXPECT_EQ(Shown(host), "error: USB device opening error #03\nerror: USB device opening error #14\n"
                         "error: USB device write error #04\n0 of 3 bytes were sent.\n");
}

TEST_F(UsbFixture, WritesWaitUntilABlockWhoseFirstByteIsNotXoffAndStopEndsTheWait) {
  // The text written, the blocks found, and the calls made.
  const std::tuple<const char*, std::deque<Bridge::Block>, const char*> cases[] = {
      {"data", {{"\x13"}, {""}, {"\x13\x11"}, {"\x11\x13"}},  // the first byte of a block counts
       "status; read 1; status; status; read 2; status; read 2; write data; "},
      {"x", {{"\x13", kD2xxIoError}, {"\x11", 7}, {"\x11", kD2xxIoError}},  // status 4 counts when bytes came
       "status; read 1; status; read 1; status; read 1; write x; "},
      {"x", {{std::string(1000, '\x13')}, {"\x11"}}, "status; read 600; status; read 1; write x; "}};
  ASSERT_TRUE(port.Open(test::Args("USB")));
  for (const auto& [text, blocks, trace] : cases) {
    bridge.calls.clear();
    bridge.blocks = blocks;
    ASSERT_TRUE(port.WriteText(text));
    EXPECT_EQ(bridge.calls, trace);
  }
  const std::int64_t stopAt = host.now + 60'000;
  port.SetCancelCheck([&] { return host.now >= stopAt; });  // STOP pressed after a minute in XOFF
  bridge.calls.clear();
  bridge.blocks = {{"\x13"}};
  EXPECT_FALSE(Said(host, port.Write("x", 1)));
  EXPECT_LT(host.now, stopAt + 2 * UsbBackend::kPermissionStepMs) << "the checks sleep in short steps";
  EXPECT_EQ(bridge.calls.find("write"), std::string::npos) << "nothing is written while stopped";
  EXPECT_EQ(Shown(host), "") << "STOP is no error";
}

TEST_F(UsbFixture, AFailedQueueStatusWithholdsPermissionAndABridgeFoundGoneEndsTheWriteOnce) {
  ASSERT_TRUE(port.Open(test::Args("USB")));
  bridge.calls.clear();
  bridge.queueStatuses = {kD2xxIoError, 7, kD2xxOk};
  ASSERT_TRUE(port.WriteText("a"));
  EXPECT_EQ(bridge.calls, "status; status; status; write a; ");
  bridge.calls.clear();
  bridge.queueStatuses = {kD2xxIoError, kD2xxDeviceNotFound, kD2xxOk};
  EXPECT_FALSE(Said(host, port.WriteText("bc")));
  EXPECT_FALSE(Said(host, port.WriteText("d")));
  EXPECT_EQ(bridge.calls, "status; status; ") << "nothing is asked of a bridge that has gone";
  EXPECT_EQ(Shown(host), "error: USB device write error #02\n0 of 2 bytes were sent.\n");
}

}  // namespace
}  // namespace corvelle
