// SPDX-License-Identifier: MIT
// The Windows platform layer in one test program under Wine:
// - files and folders: the replacing writer, UTF-8 paths through the wide APIs, the per-user
//   folders and the profile lock;
// - the FILE kind: every open asks for the file and truncates it, the bytes arrive unchanged
//   (binary), a file another program holds for writing is refused and left alone, and the device
//   names are the system's own;
// - the several-printer download's frozen image, which no other opening may write, rename or
//   delete, and which leaves no file behind;
// - the waits beside the stop signal: a socket's readiness, an event, a pause, STOP from another
//   thread or from the console's Ctrl-C, over loopback sockets; and corvelle-cli's host, whose
//   responsive waits the console's Ctrl-C ends while one STOP may not end runs on;
// - the echo probe, only ever on 127.0.0.0/8: both ways of sending (the raw ICMP socket and the
//   system's echo service) are answered, STOP ends the probe and is never taken for an answer,
//   and the wait both share ends on the stop event. Loopback always answers, so STOP in the
//   middle of a wait is tested on the wait itself.
#include <winsock2.h>
#include <windows.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <tuple>
#include <vector>

#include "base/FileHandle.h"
#include "base/FileWrite.h"
#include "base/Paths.h"
#include "base/ProfileLock.h"
#include "base/win/ConsoleStop.h"
#include "base/win/HandleWait.h"
#include "base/win/Winsock.h"
#include "cli/FleetDownload.h"
#include "cli/TerminalHost.h"
#include "ports/DevicePort.h"
#include "ports/echo/EchoProbe.h"
#include "ports/echo/win/EchoSocketWin.h"
#include "support/FakeHost.h"
#include "support/LoopbackPrinter.h"
#include "windows/CliProcess.h"

namespace corvelle {
namespace {

using namespace win;
using cli::ImageSnapshot;
using test::MsOf;
using test::ReadFile;
using test::SocketPair;
using test::TempDir;

TEST(WindowsFileWrite, ReplacesAnExistingFileAndReadsBackWhatWasCommitted) {
  const TempDir dir;
  const std::string target = dir.Write("image.shc", "old contents"), bytes("new\r\n\x1a\0end", 10);
  AtomicFile file(target, kFileMode);
  ASSERT_TRUE(file.IsOpen() && file.Write(bytes) && file.Commit());
  // The reader stays open across the rename, and the bytes are binary (no CR LF or ^Z handling).
  FileHandle reader = FileHandle::Adopt(file.TakeReader());
  std::string read(32, '\0');
  EXPECT_EQ(reader.Read(read.data(), read.size()), 10);
  EXPECT_EQ(read.substr(0, 10), bytes);
  EXPECT_EQ(ReadFile(target), bytes);
  ASSERT_TRUE(reader.Close());
  ASSERT_TRUE(ReplaceFileWhole(target, "third").Ok());
  EXPECT_EQ(ReadFile(target), "third");
}

TEST(WindowsFileWrite, AnUncommittedOrFailedFileLeavesTheTargetAndNoTemporaryFile) {
  const TempDir dir;
  const std::string target = dir.Write("profile.ini", "kept");
  {
    AtomicFile file(target, kFileMode);
    ASSERT_TRUE(file.Write("half"));
  }
  EXPECT_EQ(ReadFile(target), "kept");
  const Outcome missing = ReplaceFileWhole(dir.File("no such folder\\x.ini"), "data");
  EXPECT_EQ(missing.message, kCannotCreate);
  EXPECT_EQ(missing.system, ENOENT);
  EXPECT_EQ(test::EntriesIn(dir.Path()), 1u) << "only the target is left";
}

TEST(WindowsPaths, Utf8NamesReachTheWideFileApis) {
  const TempDir dir;
  const std::string folder = JoinPath(dir.Path(), "Schrift\xC3\xA4rten \xE2\x82\xAC");
  ASSERT_TRUE(MakeFolders(JoinPath(folder, "inner")));
  const std::string path = JoinPath(folder, "Auswahl \xC3\xBC.kvf");
  ASSERT_TRUE(ReplaceFileWhole(path, "bytes").Ok());
  FileHandle file = FileHandle::OpenRegularForReading(path);
  ASSERT_TRUE(file.IsOpen()) << file.ErrorText();
  EXPECT_EQ(file.LengthAtOpen(), 5u);
  // The same name read through the narrow ANSI code page would not be found.
  EXPECT_TRUE(std::filesystem::exists(std::filesystem::u8path(path)));
  EXPECT_FALSE(FileHandle::OpenRegularForReading(folder).IsOpen());
}

TEST(WindowsPaths, TheProfileLivesInAppDataAndImagesInLocalAppData) {
  EXPECT_EQ(DefaultProfilePath(), std::string(std::getenv("APPDATA")) + "\\Corvelle\\corvelle.ini");
  const TempDir dir;
  EXPECT_EQ(WritableDataFolder(dir.Path()), dir.Path());
  // A folder the user cannot create files in (here: one that is not there) sends the images to
  // the per-user data folder, which is made.
  const std::string local = std::string(std::getenv("LOCALAPPDATA")) + "\\Corvelle";
  EXPECT_EQ(WritableDataFolder(dir.File("missing")), local);
  EXPECT_TRUE(std::filesystem::is_directory(local));
  EXPECT_EQ(DataFolderProblem(dir.File("missing")), "");
  // An installation's share\corvelle is never written, even when it could be.
  ASSERT_TRUE(MakeFolders(dir.File("share\\corvelle")));
  EXPECT_EQ(WritableDataFolder(dir.File("share\\corvelle")), local);
  const std::string file = dir.Write("plain", "x");
  EXPECT_NE(PrepareOwnFolder(file), "");
}

TEST(WindowsProfileLock, ASecondRunWaitsForTheLockAndAStopEndsTheWait) {
  const TempDir dir;
  const std::string profile = dir.File("Corvelle\\corvelle.ini");
  auto first = std::make_unique<ProfileLock>(profile);
  ASSERT_TRUE(first->Held());
  int asked = 0;
  const ProfileLock stopped(profile, [&] { return ++asked >= 3; });
  EXPECT_FALSE(stopped.Held());
  EXPECT_EQ(asked, 3);
  std::jthread release = test::After(100, [&] { first.reset(); });
  const ProfileLock second(profile);
  release.join();
  EXPECT_TRUE(second.Held());
}

TEST(WindowsFilePort, ComAndLptNameTheSystemDevicesAndTheDevicesSectionIsNotUsed) {
  PortEnvironment env = DefaultPortEnvironment();
  env.devices = {{"COM3", "/dev/ttyUSB0"}};
  for (const auto& [name, path] : {std::pair{"COM3", "\\\\.\\COM3"}, {"COM12:", "\\\\.\\COM12"}, {"LPT2", "\\\\.\\LPT2"}, {"FILE", ""}}) {
    EXPECT_EQ(DevicePath(env, name), path);
  }
}

// The snapshot files of this process in the temporary folder.
std::vector<std::wstring> SnapshotFiles() {
  const std::wstring stem = L"corvelle-image-" + std::to_wstring(::GetCurrentProcessId()) + L"-";
  std::vector<std::wstring> found;
  for (const auto& entry : std::filesystem::directory_iterator(std::filesystem::temp_directory_path())) {
    if (entry.path().filename().wstring().starts_with(stem)) found.push_back(entry.path().wstring());
  }
  return found;
}

TEST(WindowsFleetImage, NoOtherOpeningMayChangeItAndItGoesWithItsLastReading) {
  test::TempDir dir;
  const std::string bytes = std::string(70000, 'i') + "end";
  FileHandle built = FileHandle::OpenRegularForReading(dir.Write("FontSet.SHC", bytes));
  ASSERT_TRUE(SnapshotFiles().empty());
  std::optional<Result<ImageSnapshot>> snapshot(ImageSnapshot::Take(built));
  ASSERT_TRUE(*snapshot) << snapshot->Failure().message;
  const std::vector<std::wstring> files = SnapshotFiles();
  ASSERT_EQ(files.size(), 1u);
  const std::wstring& path = files[0];
  // Writing, renaming and deleting are all refused while the snapshot is held.
  const HANDLE writer =
      ::CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  EXPECT_EQ(writer, INVALID_HANDLE_VALUE) << "a writer opened the snapshot";
  EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
  EXPECT_FALSE(::DeleteFileW(path.c_str()) || ::MoveFileW(path.c_str(), (path + L".moved").c_str()));
  // A reading made before the snapshot goes reads on to its end after it has gone.
  FileHandle reading = (*snapshot)->Open();
  snapshot.reset();
  std::string read(bytes.size() + 1, '\0');
  EXPECT_EQ(reading.Read(read.data(), read.size()), static_cast<long>(bytes.size()));
  EXPECT_TRUE(read.substr(0, bytes.size()) == bytes);
  ASSERT_TRUE(reading.Close());
  EXPECT_TRUE(SnapshotFiles().empty()) << "the temporary file is left behind";
}

SOCKET Socket(const test::PrinterEnd& end) { return static_cast<SOCKET>(end.Handle()); }

TEST(WindowsWait, ASocketIsReadableOnceDataOrTheEndArrivesAndNotBefore) {
  SocketPair pair;
  ASSERT_TRUE(pair.peer.Valid());
  const auto readable = [&](int ms) { return WaitForSocket(pair.mine.Handle(), FdEvent::Readable, ms, nullptr); };
  EXPECT_EQ(readable(50), WaitResult::TimedOut);
  std::jthread sender = test::After(50, [&] { pair.peer.SendSome("x"); });
  EXPECT_LT(MsOf([&] { EXPECT_EQ(readable(10'000), WaitResult::Ready); }), 5'000);
  sender.join();
  char byte = 0;
  ASSERT_EQ(::recv(Socket(pair.mine), &byte, 1, 0), 1);
  EXPECT_EQ(readable(0), WaitResult::TimedOut);
  pair.peer = test::PrinterEnd();
  EXPECT_EQ(readable(10'000), WaitResult::Ready);
}

TEST(WindowsWait, ASocketThatRefusedASendWakesTheWriterOnceThePeerReads) {
  SocketPair pair;
  const int small = 4096;
  ::setsockopt(Socket(pair.mine), SOL_SOCKET, SO_SNDBUF, reinterpret_cast<const char*>(&small), sizeof small);
  ::setsockopt(Socket(pair.peer), SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&small), sizeof small);
  EXPECT_EQ(WaitForSocket(pair.mine.Handle(), FdEvent::Writable, 1'000, nullptr), WaitResult::Ready);
  const std::string block(4096, 'b');
  long sent = 0;
  for (int n; sent < (64L << 20) && (n = ::send(Socket(pair.mine), block.data(), 4096, 0)) > 0;) sent += n;
  ASSERT_EQ(::WSAGetLastError(), WSAEWOULDBLOCK);
  // Whether the loopback already counts the socket writable again here is up to the system, so
  // only the wake-up after the refused send is checked: the edge FD_WRITE waits for.
  std::thread reader([&] {
    char buffer[65536];
    long got = 0;
    for (int n; got < sent && (n = ::recv(Socket(pair.peer), buffer, sizeof buffer, 0)) > 0;) got += n;
  });
  EXPECT_EQ(WaitForSocket(pair.mine.Handle(), FdEvent::Writable, 10'000, nullptr), WaitResult::Ready);
  ::shutdown(Socket(pair.mine), SD_SEND);
  reader.join();
}

TEST(WindowsWait, StopEndsEveryKindOfWaitAtOnceAndClearingItLetsTheNextWaitRun) {
  SocketPair pair;
  StopSignal stop;
  ASSERT_NE(stop.Handle(), kNoHandle);
  const auto readable = [&](int ms) { return WaitForSocket(pair.mine.Handle(), FdEvent::Readable, ms, &stop); };
  std::jthread raiser = test::After(50, [&] { stop.Raise(); });
  EXPECT_LT(MsOf([&] { EXPECT_EQ(readable(10'000), WaitResult::Stopped); }), 1'000);
  raiser.join();
  // Raised beforehand, a stop ends the wait before it starts, even when the socket is ready.
  pair.peer.SendSome("x");
  EXPECT_EQ(readable(10'000), WaitResult::Stopped);
  EXPECT_EQ(PauseUnlessStopped(10'000, &stop), WaitResult::Stopped);
  const HANDLE never = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
  const auto object = reinterpret_cast<NativeHandle>(never);
  EXPECT_EQ(WaitForObject(object, 10'000, &stop), WaitResult::Stopped);
  stop.Clear();
  EXPECT_EQ(WaitForObject(object, 20, &stop), WaitResult::TimedOut);
  EXPECT_EQ(PauseUnlessStopped(20, &stop), WaitResult::TimedOut);
  EXPECT_EQ(readable(1'000), WaitResult::Ready);
  ::SetEvent(never);
  EXPECT_EQ(WaitForObject(object, 1'000, &stop), WaitResult::Ready);
  ::CloseHandle(never);
}

TEST(WindowsConsoleStop, CtrlCBreakAndCloseRaiseTheStopOnlyWhileInstalled) {
  StopSignal stop;
  for (const DWORD type : {CTRL_C_EVENT, CTRL_BREAK_EVENT, CTRL_CLOSE_EVENT}) {
    {
      const ConsoleStop console(stop);
      EXPECT_TRUE(console.Installed());
      EXPECT_FALSE(ConsoleStop::Handle(99) || stop.Raised()) << "another event";
      EXPECT_TRUE(ConsoleStop::Handle(type) && stop.Raised()) << type;
      EXPECT_EQ(::WaitForSingleObject(reinterpret_cast<HANDLE>(stop.Handle()), 0), WAIT_OBJECT_0) << type;
    }
    stop.Clear();
    EXPECT_FALSE(ConsoleStop::Handle(type) || stop.Raised()) << type << " once the console stop has gone";
  }
}

TEST(WindowsTerminalHost, CtrlCEndsAResponsivePauseAtOnceButNotOneThatStopMayNotEnd) {
  cli::TerminalHost host;
  EXPECT_FALSE(host.Interrupted());
  std::jthread console = test::After(100, [] { EXPECT_TRUE(ConsoleStop::Handle(CTRL_C_EVENT)); });
  EXPECT_LT(MsOf([&] { host.WaitFor(20'000); }), 1'000);
  console.join();
  EXPECT_TRUE(host.Interrupted());
  EXPECT_TRUE(host.StopRequested());
  // Once raised, every later responsive wait returns at once; one STOP may not end still runs.
  EXPECT_LT(MsOf([&] { host.WaitFor(20'000); }), 1'000);
  EXPECT_GE(MsOf([&] { host.WaitFor(200, WaitMode::PaintOnly); }), 190);
}

std::uint32_t Loopback(int last) { return htonl(0x7F000000u | static_cast<std::uint32_t>(last)); }

win::EchoRequest Request(int last, std::int32_t payload = 32) {
  win::EchoRequest request{.ttl = 10, .payload = payload, .timeoutMs = 5000};
  request.destination.sin_family = AF_INET;
  request.destination.sin_addr.s_addr = Loopback(last);
  return request;
}

EchoProbeOptions Sized(std::int32_t payload) {
  EchoProbeOptions options;
  options.dataSize = payload;
  return options;
}

// Whether this process may open a raw ICMP socket (Wine: when run as root).
bool RawSocketsPermitted() {
  EXPECT_EQ(win::WinsockReady(), 0);
  const SOCKET s = ::WSASocketW(AF_INET, SOCK_RAW, IPPROTO_ICMP, nullptr, 0, 0);
  if (s == INVALID_SOCKET) return false;
  ::closesocket(s);
  return true;
}

// The raw socket's way through the probe, and the system's echo service as a process without raw
// sockets uses it (1024 is the longest payload sent); another loopback address answers as itself.
TEST(WindowsEcho, BothWaysOfSendingAreAnsweredByTheProbedLoopbackAddressAtEveryPayloadEdge) {
  const bool raw = RawSocketsPermitted();  // under Wine: when run as root
  for (const auto& [address, size, service] : {std::tuple{1, 0, false}, {1, 32, false}, {1, 2000, false},
                                               {2, 32, false}, {1, 0, true}, {1, 32, true}, {1, 1024, true}}) {
    if (!service && !raw) continue;
    const auto reply = service ? win::ProbeThroughIcmpService(Request(address, size), kNoStopHandle)
                               : CEchoProbe().Probe("127.0.0." + std::to_string(address), Sized(size));
    ASSERT_TRUE(reply) << size << ": " << EchoProbeErrorText(reply.Failure().system);
    EXPECT_EQ(reply->responderAddress, Loopback(address));
    EXPECT_LT(reply->roundTripMs, 5000u);
  }
  // A negative size is refused before anything is sent, whichever way.
  EXPECT_EQ(CEchoProbe().Probe("127.0.0.1", Sized(-1)).Failure().system, EINVAL);
  if (!raw) GTEST_SKIP() << "the raw socket's way needs a raw ICMP socket, which this user may not open";
  EXPECT_EQ(ProbeReachability("127.0.0.1", kNoStopHandle), 0);
}

TEST(WindowsEcho, AStopRaisedBeforehandEndsEitherWayAtOnceAndIsNeverAnAnswer) {
  StopSignal stop;
  stop.Raise();
  const NativeHandle handle = ProbeStopHandle(&stop);
  ASSERT_NE(handle, kNoStopHandle);
  EXPECT_LT(MsOf([&] {
    for (const bool service : {false, true}) {
      if (!service && !RawSocketsPermitted()) continue;
      const auto reply = service ? win::ProbeThroughIcmpService(Request(1), handle) : CEchoProbe(handle).Probe("127.0.0.1");
      EXPECT_FALSE(reply) << "a stopped probe is never an answer";
      EXPECT_TRUE(reply.Failure().Stopped());
      EXPECT_EQ(reply.Failure().system, ECANCELED);
      EXPECT_EQ(service ? ECANCELED : ProbeReachability("127.0.0.1", handle), ECANCELED);
    }
  }), 1'000);
}

TEST(WindowsEcho, TheProbesWaitEndsOnTheStopEventRaisedWhileItWaitsAndOtherwiseAtItsLimit) {
  const HANDLE never = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
  ASSERT_NE(never, nullptr);
  StopSignal stop;
  const auto wait = [&](int ms) { return win::WaitForEchoEvent(never, ms, ProbeStopHandle(&stop)); };
  EXPECT_GE(MsOf([&] { EXPECT_EQ(wait(50), win::EchoWait::TimedOut); }), 40);
  EXPECT_EQ(win::WaitForEchoEvent(never, 50, kNoStopHandle), win::EchoWait::TimedOut);
  std::jthread raiser = test::After(100, [&stop] { stop.Raise(); });
  EXPECT_LT(MsOf([&] { EXPECT_EQ(wait(5000), win::EchoWait::Stopped); }), 1'000);
  raiser.join();
  // A reply and STOP at once: STOP wins, so a stopped probe is never a success.
  ::SetEvent(never);
  EXPECT_EQ(wait(5000), win::EchoWait::Stopped);
  stop.Clear();
  EXPECT_EQ(wait(5000), win::EchoWait::Ready);
  ::CloseHandle(never);
}

}  // namespace
}  // namespace corvelle
