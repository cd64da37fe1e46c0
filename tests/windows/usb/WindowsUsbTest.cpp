// SPDX-License-Identifier: MIT
// The USB kind over FTD2XX.dll, in process, with the stand-in library beside this program: each
// call reaches the library with the kind's arguments and the handle it opened, and the library's
// statuses and counts come back unchanged.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "StandinLog.h"
#include "cli/TerminalHost.h"
#include "ports/DevicePort.h"
#include "ports/PortEnvironment.h"
#include "support/FakeHost.h"

namespace corvelle {
namespace {

using Calls = std::vector<std::string>;

// The command line's host, with its messages and details kept for the test.
struct RecordingHost : cli::TerminalHost {
  MessageAnswer ShowMessage(const std::string& text, MessageStyle style) override {
    shown.push_back(text);
    return TerminalHost::ShowMessage(text, style);
  }
  void ShowDetail(const std::string& text) override {
    shown.push_back("detail: " + text);
    TerminalHost::ShowDetail(text);
  }
  std::vector<std::string> shown;
};

PortOpenArgs UsbArgs() {
  PortOpenArgs args;
  args.portName = "USB";
  return args;
}

using test::kOpened;

Calls Joined(Calls a, const Calls& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

class WindowsUsb : public ::testing::Test {
 protected:
  test::TempDir dir;
  test::Standin standin{dir};
  RecordingHost host;
  CDevicePort port{host, DefaultPortEnvironment()};
};

TEST_F(WindowsUsb, TheCallsCarryTheKindsArgumentsAndTheLibrarysAnswersComeBackUnchanged) {
  // XOFF, then 599 more bytes in the same block of 600; the next block starts with XON.
  standin.Set("REPLY", "13" + std::string(599 * 2, '0') + "11");
  ASSERT_TRUE(port.Open(UsbArgs()));
  ASSERT_TRUE(port.Write("abc", 3));
  port.Purge();
  port.Close();
  EXPECT_EQ(standin.Calls(), Joined(kOpened, {
                                                 "FT_GetQueueStatus -> 0 601",
                                                 "FT_Read 600 -> 0 13" + std::string(599 * 2, '0'),
                                                 "FT_GetQueueStatus -> 0 1",
                                                 "FT_Read 1 -> 0 11",
                                                 "FT_Write 3 -> 0 3",
                                                 "FT_Purge 3 -> 0",
                                                 "FT_Close -> 0",
                                             }));
  EXPECT_EQ(standin.Written(), "abc");
  EXPECT_TRUE(host.shown.empty());

  // The library stays loaded for the next open; the status the kind reports is the library's
  // own number, and a device whose receive purge failed is closed again.
  standin.Set("REPLY", "");
  standin.Set("PURGE", "17");
  EXPECT_FALSE(test::Said(host, port.Open(UsbArgs())));
  EXPECT_EQ(host.shown, std::vector<std::string>{"USB device opening error #17"});
  const Calls calls = standin.Calls();
  ASSERT_GE(calls.size(), 5u);
  EXPECT_EQ(Calls(calls.end() - 5, calls.end()), (Calls{
                                                     "FT_OpenEx \"Varnesi Bridge GN2\" 2 -> 0",
                                                     "FT_ResetDevice -> 0",
                                                     "FT_SetTimeouts 3000 3000 -> 0",
                                                     "FT_Purge 1 -> 17",
                                                     "FT_Close -> 0",
                                                 }));
}

}  // namespace
}  // namespace corvelle
