// "Set COM port": the command bytes, the open at the old line settings, what is adopted, and the
// line that never takes the command.
#include <gtest/gtest.h>

#include "DownloadKit.h"
#include "download/SetComPort.h"
#include "resources/Strings.h"

namespace corvelle {
namespace {

using test::FakeHost;
using test::FakePrinter;
using Type = test::PrinterEvent::Type;

TEST(SetComCommand, BytesForTheChosenPositions) {
  EXPECT_EQ(SetComCommand({3, 1, 1, 0}), std::string("\x3F\x41\x37\x26\x33\x2C\x32\x2C\x31\x2C\x30\x0D\x0A", 13));
  EXPECT_EQ(SetComCommand({0, 0, 0, 0}), "?A7&0,0,0,0\r\n");
  EXPECT_EQ(SetComCommand({5, 2, 1, 1}), "?A7&5,1,1,1\r\n");  // odd parity is code 1
  EXPECT_EQ(SetComCommand({1, 1, 0, 1}), "?A7&1,2,0,1\r\n");  // even parity is code 2
}

TEST(SetComCommand, PositionsOutsideTheListsBecomeTheDefaults) {
  // The communication dialog's empty fourth parity entry, nothing selected, edited profiles.
  EXPECT_EQ(SetComCommand({3, 3, 1, 0}), "?A7&3,0,1,0\r\n");
  EXPECT_EQ(SetComCommand({-1, -1, -1, -1}), "?A7&2,0,1,0\r\n");
  EXPECT_EQ(SetComCommand({6, 1, 2, 2}), "?A7&2,2,1,0\r\n");
  EXPECT_EQ(NormalizedPositions({3, 3, 1, 0}), (SerialPositions{3, 0, 1, 0}));
  EXPECT_EQ(NormalizedPositions({5, 2, 0, 1}), (SerialPositions{5, 2, 0, 1}));
}

struct SetComFixture : ::testing::Test {
  SetComPortRequest Request(SerialPositions chosen) {
    PortEnvironment env;
    env.backendFactory = printer.Factory();
    return {host, env, current, chosen, {}};
  }
  FakeHost host;
  FakePrinter printer;
  PortSettings current;
};

TEST_F(SetComFixture, OpensAtTheOldSettingsSendsDrainsClosesAndAdopts) {
  current.portName = "COM3:";
  current.speedIndex = 1;
  current.parityIndex = 2;
  current.xonXoff = 1;
  current.hardwareFlow = 0;
  current.ipAddress = "127.0.0.1";
  current.ipPort = 9100;
  const SetComPortResult result = SetComPort(Request({3, 1, 1, 0}));
  EXPECT_TRUE(result.sent);
  EXPECT_EQ(result.positions, (SerialPositions{3, 1, 1, 0}));

  ASSERT_EQ(printer.opens.size(), 1u);
  EXPECT_EQ(test::OpenArgsText(printer.opens[0]),
            "COM3: number=3 baud=2 parity=2 data=1 stop=0 xon=1 cts=0 mask=1 ip=127.0.0.1:9100 out=/");

  std::string script;
  for (const auto& e : printer.events) script += "OWPDC"[static_cast<int>(e.type)];
  EXPECT_EQ(script, "OWDC");
  EXPECT_EQ(printer.Received(), "?A7&3,2,1,0\r\n");
  ASSERT_EQ(host.messages.size(), 1u);
  EXPECT_EQ(host.messages[0].text, LoadStr(IDS_WAIT_AUTORESTART));
  EXPECT_EQ(host.messages[0].style, MessageStyle::Plain);
  EXPECT_EQ(host.busyChanges, (std::vector<bool>{true, false}));
}

TEST_F(SetComFixture, FailedOpenChangesNothing) {
  printer.refuseOpen = true;
  const SetComPortResult result = SetComPort(Request({4, 1, 0, 1}));
  EXPECT_FALSE(result.sent);
  EXPECT_EQ(result.positions, PositionsOf(current));
  EXPECT_EQ(printer.Received(), "");
  ASSERT_EQ(host.messages.size(), 1u);
  EXPECT_EQ(host.messages[0].text, printer.refuseMessage);
  EXPECT_TRUE(host.busyChanges.empty());
}

TEST_F(SetComFixture, EmptyParityEntryIsAdoptedAsNone) {
  const SetComPortResult result = SetComPort(Request({2, 3, 1, 0}));
  EXPECT_TRUE(result.sent);
  EXPECT_EQ(result.positions.parityIndex, 0);
  EXPECT_EQ(printer.Received(), "?A7&2,0,1,0\r\n");
}

TEST_F(SetComFixture, FailedWriteShowsNoClosingMessageAndAdoptsNothing) {
  printer.failWrites = true;
  current.speedIndex = 4;
  const SetComPortResult result = SetComPort(Request({0, 0, 0, 0}));
  EXPECT_FALSE(result.sent);
  EXPECT_EQ(result.positions.speedIndex, 4);
  EXPECT_TRUE(host.messages.empty());
  EXPECT_EQ(printer.Count(Type::Close), 1);
  EXPECT_EQ(host.busyChanges, (std::vector<bool>{true, false}));
}

// A serial line that flow control holds for ever.
struct BlockedLine : SetComFixture {
  SetComPortRequest Blocked(std::function<bool()> stop) {
    PortEnvironment env;
    env.backendFactory = [this, inner = printer.Factory()](PortKind kind, PortContext& context) {
      struct Never : PortBackend {
        Never(std::unique_ptr<PortBackend> b, PortContext& c) : inner(std::move(b)), context(c) {}
        bool Open(const PortOpenArgs& a) override { return inner->Open(a); }
        bool Write(const std::uint8_t* b, std::size_t n) override { return inner->Write(b, n); }
        void Purge() override { inner->Purge(); }
        bool DrainOutput() override {
          while (!context.Cancelled()) context.host.WaitFor(100);
          return false;
        }
        void Close() override { inner->Close(); }
        std::unique_ptr<PortBackend> inner;
        PortContext& context;
      };
      return std::make_unique<Never>(inner(kind, context), context);
    };
    return {host, env, current, {3, 1, 1, 0}, std::move(stop)};
  }
};

TEST_F(BlockedLine, GivesUpAfterTheLimitAndSaysSo) {
  const SetComPortResult result = SetComPort(Blocked({}));
  EXPECT_FALSE(result.sent);
  EXPECT_EQ(result.positions, PositionsOf(current));
  EXPECT_GE(host.now, kSetComDrainLimitMs);
  EXPECT_LE(host.now, kSetComDrainLimitMs + 200);
  ASSERT_EQ(host.messages.size(), 1u);
  EXPECT_NE(host.messages[0].text.find("serial line stayed blocked"), std::string::npos);
  EXPECT_EQ(printer.Count(Type::Purge), 1);
  EXPECT_EQ(printer.Count(Type::Close), 1);
}

TEST_F(BlockedLine, StopEndsTheWaitSilently) {
  const SetComPortResult result = SetComPort(Blocked([this] { return host.now >= 500; }));
  EXPECT_FALSE(result.sent);
  EXPECT_LT(host.now, 1000);
  EXPECT_TRUE(host.messages.empty());
}

}  // namespace
}  // namespace corvelle
