// The USB kind over a scripted bridge library: open and purge failures, the order and arguments
// of the calls, and the XON/XOFF permission to send.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <deque>

#include "ports/DevicePort.h"
#include "ports/UsbBackend.h"
#include "support/FakeHost.h"

namespace corvelle {
namespace {

using test::FakeHost;

// A bridge library that records its calls and serves scripted reads: each queued block is what
// one queue-status/read pair finds waiting.
struct FakeBridge {
  struct Block {
    std::string bytes;
    int readStatus = kD2xxOk;
    int queueStatus = kD2xxOk;
  };
  std::vector<std::string> calls;
  std::string written;
  std::deque<Block> blocks;
  int openStatus = kD2xxOk;
  int purgeStatus = kD2xxOk;
  int writeStatus = kD2xxOk;
  std::string openedName;
  unsigned openFlags = 0;
  int queueChecks = 0;
};

class FakeD2xx : public D2xx {
 public:
  explicit FakeD2xx(FakeBridge& bridge) : m(bridge) {}
  int OpenEx(const std::string& name, unsigned flags, D2xxHandle* handle) override {
    m.calls.push_back("open");
    m.openedName = name;
    m.openFlags = flags;
    *handle = 77;
    return m.openStatus;
  }
  int ResetDevice(D2xxHandle h) override { return Call("reset", h); }
  int SetTimeouts(D2xxHandle h, unsigned r, unsigned w) override {
    return Call("timeouts " + std::to_string(r) + " " + std::to_string(w), h);
  }
  int Purge(D2xxHandle h, unsigned mask) override {
    Call("purge " + std::to_string(mask), h);
    return m.purgeStatus;
  }
  int Write(D2xxHandle h, const void* buffer, unsigned count, unsigned* written) override {
    Call("write", h);
    if (m.writeStatus != kD2xxOk) {
      *written = 0;
      return m.writeStatus;
    }
    m.written.append(static_cast<const char*>(buffer), count);
    *written = count;
    return kD2xxOk;
  }
  int GetQueueStatus(D2xxHandle h, unsigned* waiting) override {
    ++m.queueChecks;
    if (h != 77) return kD2xxInvalidHandle;
    if (m.blocks.empty()) {
      *waiting = 0;
      return kD2xxOk;
    }
    const FakeBridge::Block& front = m.blocks.front();
    if (front.queueStatus != kD2xxOk || front.bytes.empty()) {
      const int status = front.queueStatus;
      m.blocks.pop_front();
      *waiting = 0;
      return status;
    }
    *waiting = static_cast<unsigned>(m.blocks.front().bytes.size());
    return kD2xxOk;
  }
  int Read(D2xxHandle, void* buffer, unsigned count, unsigned* read) override {
    const FakeBridge::Block block = m.blocks.front();
    m.blocks.pop_front();
    m.calls.push_back("read " + std::to_string(count));
    const std::size_t n = std::min<std::size_t>(count, block.bytes.size());
    std::memcpy(buffer, block.bytes.data(), n);
    *read = static_cast<unsigned>(n);
    return block.readStatus;
  }
  int Close(D2xxHandle h) override { return Call("close", h); }

 private:
  int Call(const std::string& name, D2xxHandle h) {
    m.calls.push_back(name);
    return h == 77 ? kD2xxOk : kD2xxInvalidHandle;
  }
  FakeBridge& m;
};

struct UsbFixture : ::testing::Test {
  PortEnvironment Env() {
    PortEnvironment env;
    env.usbLibrary = [this] { return std::make_unique<FakeD2xx>(bridge); };
    return env;
  }
  PortOpenArgs Args() {
    PortOpenArgs a;
    a.portName = "USB";
    return a;
  }
  UsbBackend& Usb() { return *static_cast<UsbBackend*>(port.Backend()); }
  FakeHost host;
  FakeBridge bridge;
  CDevicePort port{host, Env()};
};

TEST_F(UsbFixture, OpenFindsTheBridgeByDescriptionResetsSetsTimeoutsAndPurgesReceive) {
  ASSERT_TRUE(port.Open(Args()));
  EXPECT_EQ(bridge.openedName, "Varnesi Bridge GN2");
  EXPECT_EQ(bridge.openFlags, 2u);
  EXPECT_EQ(Usb().FlowByte(), 17);
  ASSERT_TRUE(port.Write("abc", 3));
  port.Purge();
  EXPECT_TRUE(port.DrainOutput());
  port.Close();
  EXPECT_EQ(bridge.calls, (std::vector<std::string>{"open", "reset", "timeouts 3000 3000", "purge 1", "write",
                                                    "purge 3", "close"}));
  EXPECT_EQ(bridge.written, "abc");
  EXPECT_TRUE(host.messages.empty());
}

TEST_F(UsbFixture, OpenAndPurgeFailuresShowTheirStatusWithTwoDigits) {
  bridge.openStatus = kD2xxDeviceNotOpened;
  EXPECT_FALSE(port.Open(Args()));
  ASSERT_EQ(host.messages.size(), 1u);
  EXPECT_EQ(host.messages[0].text, "USB device opening error #03");
  EXPECT_EQ(host.messages[0].style, MessageStyle::Error);
  EXPECT_EQ(bridge.calls, (std::vector<std::string>{"open"}));

  bridge = FakeBridge{};
  bridge.purgeStatus = 14;
  EXPECT_FALSE(port.Open(Args()));
  EXPECT_EQ(host.messages.back().text, "USB device opening error #14");
  EXPECT_EQ(bridge.calls.back(), "close") << "a bridge that failed its purge is released at once";
}

TEST_F(UsbFixture, XoffHoldsWritesUntilABlockWhoseFirstByteIsNotXoff) {
  ASSERT_TRUE(port.Open(Args()));
  bridge.blocks = {{"\x13"}, {""}, {"\x13\x11"}, {"\x11\x13"}};
  ASSERT_TRUE(port.Write("data", 4));
  EXPECT_EQ(bridge.written, "data");
  EXPECT_EQ(Usb().FlowByte(), 17) << "the first byte of the block counts, not the last";
  EXPECT_EQ(bridge.queueChecks, 4);
  EXPECT_GE(host.pumps, 4);
  EXPECT_EQ(host.waits.size(), 3u) << "a timed sleep between rounds, none after permission";
}

TEST_F(UsbFixture, ABlockReadWithAnIoErrorStillCountsWhenBytesCame) {
  ASSERT_TRUE(port.Open(Args()));
  bridge.blocks = {{"\x13", kD2xxIoError}, {"\x11", 7}, {"\x11", kD2xxIoError}};
  ASSERT_TRUE(port.Write("x", 1));
  EXPECT_EQ(bridge.queueChecks, 3) << "status 7 is ignored; status 4 with a byte is honoured";
  EXPECT_EQ(bridge.written, "x");
}

TEST_F(UsbFixture, AFailingQueueStatusForbidsSendingForThatRound) {
  ASSERT_TRUE(port.Open(Args()));
  bridge.blocks = {{"", kD2xxOk, kD2xxIoError}, {"", kD2xxOk, kD2xxIoError}};
  ASSERT_TRUE(port.Write("x", 1));
  EXPECT_EQ(bridge.queueChecks, 3);
}

TEST_F(UsbFixture, AtMost600BytesAreReadPerCheck) {
  ASSERT_TRUE(port.Open(Args()));
  bridge.blocks = {{std::string(1000, '\x13')}, {"\x11"}};
  ASSERT_TRUE(port.Write("x", 1));
  EXPECT_NE(std::find(bridge.calls.begin(), bridge.calls.end(), "read 600"), bridge.calls.end());
}

TEST_F(UsbFixture, EmptyTextSendsNothingButStillWaitsForPermission) {
  ASSERT_TRUE(port.Open(Args()));
  bridge.blocks = {{"\x13"}, {"\x11"}};
  ASSERT_TRUE(port.WriteText(""));
  EXPECT_EQ(bridge.queueChecks, 2);
  EXPECT_EQ(std::count(bridge.calls.begin(), bridge.calls.end(), "write"), 0);
}

TEST_F(UsbFixture, StopEndsTheWaitOfAPrinterStuckInXoff) {
  bool stop = false;
  port.SetCancelCheck([&] { return stop; });
  ASSERT_TRUE(port.Open(Args()));
  bridge.blocks = {{"\x13"}};
  host.At(60'000, [&] { stop = true; });
  EXPECT_FALSE(port.Write("x", 1));
  EXPECT_GE(host.now, 60'000);
  EXPECT_LT(host.now, 60'000 + 2 * UsbBackend::kPermissionStepMs);
  EXPECT_TRUE(bridge.written.empty());
  EXPECT_TRUE(host.messages.empty());
  port.Close();
}

TEST_F(UsbFixture, AWriteTheBridgeRefusesIsReportedOnce) {
  ASSERT_TRUE(port.Open(Args()));
  bridge.writeStatus = kD2xxIoError;
  EXPECT_FALSE(port.Write("abc", 3));
  EXPECT_FALSE(port.Write("abc", 3));
  ASSERT_EQ(host.messages.size(), 1u);
  EXPECT_EQ(host.messages[0].text.rfind("USB device write error #04", 0), 0u);
}

TEST(FtdiD2xx, NoBridgeOnThisMachineIsNotFound) {
  auto library = MakeFtdiD2xx();
  D2xxHandle handle = 0;
  const int status = library->OpenEx(UsbBackend::kDescription, kD2xxOpenByDescription, &handle);
  EXPECT_TRUE(status == kD2xxDeviceNotFound || status == kD2xxInsufficientResources) << status;
  unsigned waiting = 0;
  EXPECT_EQ(library->GetQueueStatus(handle, &waiting), kD2xxInvalidHandle);
  EXPECT_EQ(library->Close(handle), kD2xxInvalidHandle);
}

}  // namespace
}  // namespace corvelle
