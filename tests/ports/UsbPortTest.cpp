// The USB kind over a scripted bridge library: the order and arguments of the calls, open and
// purge failures, and the XON/XOFF permission to send.
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
    int queueStatus = kD2xxOk;
  };
  std::deque<Block> blocks;
  int openStatus = kD2xxOk, purgeStatus = kD2xxOk, writeStatus = kD2xxOk;
  std::string calls;
};

class FakeD2xx : public D2xx {
 public:
  explicit FakeD2xx(Bridge& bridge) : m(bridge) {}
  int OpenEx(const std::string& name, unsigned flags, D2xxHandle* handle) override {
    *handle = 77;
    return Call("open " + name + " " + std::to_string(flags), 77, m.openStatus);
  }
  int ResetDevice(D2xxHandle h) override { return Call("reset", h); }
  int SetTimeouts(D2xxHandle h, unsigned r, unsigned w) override {
    return Call("timeouts " + std::to_string(r) + " " + std::to_string(w), h);
  }
  int Purge(D2xxHandle h, unsigned mask) override { return Call("purge " + std::to_string(mask), h, m.purgeStatus); }
  int Write(D2xxHandle h, const void* buffer, unsigned count, unsigned* written) override {
    *written = m.writeStatus == kD2xxOk ? count : 0;
    return Call("write " + std::string(static_cast<const char*>(buffer), count), h, m.writeStatus);
  }
  int GetQueueStatus(D2xxHandle h, unsigned* waiting) override {
    const Bridge::Block block = m.blocks.empty() ? Bridge::Block{} : m.blocks.front();
    *waiting = block.queueStatus == kD2xxOk ? static_cast<unsigned>(block.bytes.size()) : 0;
    if (!m.blocks.empty() && *waiting == 0) m.blocks.pop_front();
    return Call("status", h, block.queueStatus);
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
  PortEnvironment env = [this] {
    PortEnvironment e;
    e.usbLibrary = [this] { return std::make_unique<FakeD2xx>(bridge); };
    return e;
  }();
  test::FakeHost host;
  CDevicePort port{host, env};
};

TEST_F(UsbFixture, OpenFindsTheBridgeByDescriptionAndFailuresShowTheirStatusWithTwoDigits) {
  ASSERT_TRUE(port.Open(test::Args("USB")));
  ASSERT_TRUE(port.Write("abc", 3));
  port.Purge();
  port.Close();
  bridge.openStatus = kD2xxDeviceNotOpened;
  EXPECT_FALSE(port.Open(test::Args("USB")));
  bridge.openStatus = kD2xxOk;
  bridge.purgeStatus = 14;
  EXPECT_FALSE(port.Open(test::Args("USB")));
  const std::string open = "open Varnesi Bridge GN2 2; reset; timeouts 3000 3000; purge 1; ";
  EXPECT_EQ(bridge.calls, open + "status; write abc; purge 3; close; open Varnesi Bridge GN2 2; " + open + "close; ")
      << "a bridge that failed its purge is released at once";
  EXPECT_EQ(Shown(host), "error: USB device opening error #03\nerror: USB device opening error #14\n");
}

TEST_F(UsbFixture, WritesWaitUntilABlockWhoseFirstByteIsNotXoff) {
  // The text written, the blocks found, the calls made, and the sleeps between the checks.
  const std::tuple<const char*, std::deque<Bridge::Block>, const char*, std::size_t> cases[] = {
      {"data", {{"\x13"}, {""}, {"\x13\x11"}, {"\x11\x13"}},  // the first byte of a block counts
       "status; read 1; status; status; read 2; status; read 2; write data; ", 3},
      {"x", {{"\x13", kD2xxIoError}, {"\x11", 7}, {"\x11", kD2xxIoError}},  // status 4 counts when bytes came
       "status; read 1; status; read 1; status; read 1; write x; ", 2},
      {"x", {{"", kD2xxOk, kD2xxIoError}, {"", kD2xxOk, kD2xxIoError}}, "status; status; status; write x; ", 2},
      {"x", {{std::string(1000, '\x13')}, {"\x11"}}, "status; read 600; status; read 1; write x; ", 1},
      {"", {{"\x13"}, {"\x11"}}, "status; read 1; status; read 1; ", 1}};
  for (const auto& [text, blocks, trace, sleeps] : cases) {
    ASSERT_TRUE(port.Open(test::Args("USB")));
    bridge.calls.clear();
    bridge.blocks = blocks;
    host.waits.clear();
    ASSERT_TRUE(port.WriteText(text));
    EXPECT_EQ(bridge.calls, trace);
    EXPECT_EQ(host.waits.size(), sleeps) << trace;
  }
}

TEST_F(UsbFixture, StopEndsTheWaitOfAPrinterStuckInXoffAndARefusedWriteIsReportedOnce) {
  bool stop = false;
  port.SetCancelCheck([&] { return stop; });
  ASSERT_TRUE(port.Open(test::Args("USB")));
  bridge.blocks = {{"\x13"}};
  host.At(60'000, [&] { stop = true; });
  EXPECT_FALSE(port.Write("x", 1));
  EXPECT_LT(host.now, 60'000 + 2 * UsbBackend::kPermissionStepMs);
  stop = false;
  bridge.blocks = {{"\x11"}};
  bridge.writeStatus = kD2xxIoError;
  EXPECT_FALSE(port.Write("abc", 3));
  EXPECT_FALSE(port.Write("abc", 3));
  const auto write = bridge.calls.find("write");
  EXPECT_TRUE(write != std::string::npos && write == bridge.calls.rfind("write")) << "none while stopped or after a failure";
  EXPECT_EQ(Shown(host), "error: USB device write error #04\n0 of 3 bytes were sent.\n") << "STOP is no error";
}

}  // namespace
}  // namespace corvelle
