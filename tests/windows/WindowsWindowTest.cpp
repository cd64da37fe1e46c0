// SPDX-License-Identifier: MIT
// The window's Windows side under Wine: the COM ports the registry lists, by the names the port
// list uses (the port dialog offers the listed devices as CommPortDlgTest checks with Linux's),
// and the host's waits on a Winsock socket.
#include <winsock2.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <QPushButton>
#include <QTimer>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "app/ProgressDlg.h"
#include "app/QtHost.h"
#include "app/SerialDevices.h"
#include "support/LoopbackPrinter.h"
#include "windows/CliProcess.h"

namespace corvelle {
namespace {

// The planted entries among `devices`, as "path=label".
std::vector<std::string> Planted(const std::vector<SerialDevice>& devices) {
  std::vector<std::string> found;
  for (const SerialDevice& device : devices) {
    if (device.label.find("CorvelleTest") != std::string::npos) found.push_back(device.path + "=" + device.label);
  }
  return found;
}

// In the order of their numbers (COM3 before COM20), named as the port list names them, so that
// COM10 and above are opened through \\.\COMn; values that name no COM port are passed over.
TEST(WindowsSerialPorts, TheRegistrysComPortsAreListedByNumberAsThePortListNamesThem) {
  // Planted in the system's list of serial ports, its key volatile as the system's own is, and
  // taken out again when the test ends.
  const std::pair<const wchar_t*, std::wstring> planted[] = {
      {L"\\Device\\CorvelleTest20", L"COM20"}, {L"\\Device\\CorvelleTestLpt", L"LPT1"},
      {L"\\Device\\CorvelleTest3", L"com3"}, {L"\\Device\\CorvelleTestOdd", L"COMx"},
      {L"\\Device\\CorvelleTest117", L"COM117"}};
  HKEY key = nullptr;
  ASSERT_EQ(::RegCreateKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, nullptr, REG_OPTION_VOLATILE,
                              KEY_SET_VALUE, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  const std::shared_ptr<void> unplant(nullptr, [&](void*) {
    for (const auto& value : planted) ::RegDeleteValueW(key, value.first);
    ::RegCloseKey(key);
  });
  for (const auto& [name, data] : planted) {
    ::RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                     static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t)));
  }
  EXPECT_EQ(Planted(ListSerialDevices()),
            (std::vector<std::string>{"COM3:=COM3: (CorvelleTest3)", "COM20:=COM20: (CorvelleTest20)",
                                      "COM117:=COM117: (CorvelleTest117)"}));
}

using test::MsOf;

// The window waits on the TCP/IP kind's socket in its event loop: until data comes, its time is
// up, or STOP is pressed in the progress window.
TEST(WindowsWindowHost, AWaitOnASocketEndsWhenDataComesItsTimeIsUpOrStopIsPressed) {
  test::SocketPair pair;
  ASSERT_TRUE(pair.peer.Valid());
  QtHost host;
  const auto readable = [&](int ms) { return host.WaitForFd(pair.mine.Handle(), FdEvent::Readable, ms); };
  EXPECT_GE(MsOf([&] { EXPECT_FALSE(readable(100)); }), 90);
  EXPECT_TRUE(host.WaitForFd(pair.mine.Handle(), FdEvent::Writable, 1'000));
  std::jthread sender = test::After(50, [&] { pair.peer.SendSome("x"); });
  EXPECT_LT(MsOf([&] { EXPECT_TRUE(readable(10'000)); }), 5'000);
  sender.join();
  EXPECT_EQ(pair.mine.Read(1), "x");
  const std::unique_ptr<ProgressView> view = host.CreateProgressView();
  QTimer::singleShot(50, [&] { host.CurrentProgress()->StopButton()->click(); });
  EXPECT_LT(MsOf([&] { EXPECT_FALSE(readable(10'000)); }), 5'000);
  EXPECT_FALSE(host.WaitForFd(test::loopback::None(), FdEvent::Readable, 10));
}

}  // namespace
}  // namespace corvelle
