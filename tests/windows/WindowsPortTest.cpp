// SPDX-License-Identifier: MIT
// The FILE kind on Windows: every open asks for the file and truncates it, the bytes arrive
// unchanged (binary), a file another program holds for writing is refused and left alone, and
// the device names are the system's own.
#include <windows.h>

#include <gtest/gtest.h>

#include "ports/DevicePort.h"
#include "ports/PortEnvironment.h"
#include "support/FakeHost.h"
#include "support/TempDir.h"

namespace corvelle {
namespace {

TEST(WindowsFilePort, EveryOpenTruncatesBytesArriveUnchangedAndAHeldFileIsRefusedAndKept) {
  test::FakeHost host;
  const test::TempDir dir;
  CDevicePort port(host, PortEnvironment{});
  PortOpenArgs args;
  args.portName = "FILE";
  args.outputName = args.fallbackOutputName = "fontext.out";
  const std::string path = dir.Write("out.out", "old contents that are longer"), held = dir.Write("held.out", "keep");
  const HANDLE other = ::CreateFileA(held.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(other, INVALID_HANDLE_VALUE);
  host.savePaths = {path, path, std::nullopt, dir.File("missing\\folder\\x.out"), held};
  const std::string bytes("\r\n\x1a\n\x00\xff", 6);
  ASSERT_TRUE(port.Open(args) && port.Write(bytes.data(), bytes.size()));
  // While the port holds the file, no other program may write it.
  EXPECT_EQ(::CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                          nullptr),
            INVALID_HANDLE_VALUE);
  EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
  port.Close();
  EXPECT_EQ(test::ReadFile(path), bytes);
  ASSERT_TRUE(port.Open(args));
  port.Close();
  EXPECT_EQ(test::ReadFile(path), "");
  EXPECT_FALSE(test::Said(host, port.Open(args)));
  EXPECT_TRUE(host.messages.empty()) << "a cancelled dialog is silent";
  for (int i = 0; i < 2; ++i) EXPECT_FALSE(test::Said(host, port.Open(args)));
  ::CloseHandle(other);
  EXPECT_EQ(test::ReadFile(held), "keep");
  ASSERT_EQ(host.messages.size(), 2u);
  EXPECT_EQ(host.messages[1].text, "Error opening output file(Q)");
  EXPECT_EQ(host.saveRequests.size(), 5u);
}

TEST(WindowsFilePort, ComAndLptNameTheSystemDevicesAndTheDevicesSectionIsNotUsed) {
  PortEnvironment env = DefaultPortEnvironment();
  env.devices = {{"COM3", "/dev/ttyUSB0"}};
  for (const auto& [name, path] : {std::pair{"COM3", "\\\\.\\COM3"}, {"COM12:", "\\\\.\\COM12"}, {"LPT2", "\\\\.\\LPT2"}, {"FILE", ""}}) {
    EXPECT_EQ(DevicePath(env, name), path);
  }
}

}  // namespace
}  // namespace corvelle
