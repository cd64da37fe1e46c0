// End to end with the substitute printer: real bytes over TCP on 127.0.0.1 and over a serial line
// (a pseudo-terminal reached through the "Devices" mapping), with the fake clock. The simulator
// must log the announcements, store exactly the image, and judge it consistent.
#include <gtest/gtest.h>

#include "DownloadKit.h"
#include "base/Paths.h"
#include "base/Profile.h"
#include "download/SetComPort.h"
#include "fontset/FontSetBuilder.h"
#include "tools/SimProcess.h"
#include "tools/TestImages.h"

namespace corvelle {
namespace {

using test::DownloadKit;
using test::ReadFile;
using test::SimProcess;
using test::TransportHost;
const auto Text = test::EventText;
const auto Number = test::EventNumber;

// Only the simulator's address passes the reachability test, so nothing else is contacted.
PortEnvironment LoopbackOnly() {
  PortEnvironment env;
  env.reachable = [](const std::string& host) { return host == "127.0.0.1"; };
  return env;
}

PortSettings TcpSettings(int port) {
  PortSettings settings;
  settings.portName = "TCP/IP";
  settings.ipAddress = "127.0.0.1";
  settings.ipPort = port;
  return settings;
}

// The simulator's record of one download: its announcements in order, then the judged image.
void ExpectJudgedConsistent(SimProcess& sim, const std::vector<long long>& announced, const std::string& image,
                            const std::string& storeFolder) {
  for (std::size_t i = 0; i < announced.size(); ++i) {
    const auto event = sim.Next("announcement");
    EXPECT_EQ(Number(event, "area"), static_cast<long long>(i + 1));
    EXPECT_EQ(Number(event, "length"), announced[i]);
  }
  const auto judged = sim.Next("image");
  EXPECT_EQ(Text(judged, "verdict"), "consistent") << Text(judged, "problem");
  EXPECT_EQ(Number(judged, "bytes"), static_cast<long long>(image.size()));
  EXPECT_EQ(Text(judged, "stored"), storeFolder + "/image-001.bin");
  EXPECT_TRUE(test::SameBytes(ReadFile(storeFolder + "/image-001.bin"), image));
}

TEST(Simulator, TwoAreaImageOverTcp) {
  DownloadKit kit;
  const std::string image = test::MakeTwoAreaImage(0x200000);
  test::WriteFile(kit.imagePath, image);
  const std::string store = kit.dir.File("store");
  SimProcess sim({"--port", "0", "--store", store});
  ASSERT_TRUE(sim.Started());

  TransportHost host;
  ASSERT_EQ(DownloadFontSet({host, TcpSettings(sim.Port()), LoopbackOnly(), kit.imagePath, {}}),
            DownloadResult::Completed);
  ExpectJudgedConsistent(sim, {0x150000, 0x200000 - 0x150000}, image, store);
}

TEST(Simulator, LegacyImageOverASerialLineMappedInDevices) {
  DownloadKit kit;
  const std::string image = test::MakeLegacyImage({40000, 25000, 3000});
  test::WriteFile(kit.imagePath, image);
  const std::string store = kit.dir.File("store");
  SimProcess sim({"--pty", "--store", store});
  ASSERT_TRUE(sim.Started());

  // As the profile's [Devices] section would map it.
  Profile profile;
  profile.WriteString(kDevicesSection, "COM3", sim.PtyPath());
  PortSettings settings;
  settings.portName = "COM3:";
  TransportHost host;
  ASSERT_EQ(DownloadLegacyFontSet({host, settings, DefaultPortEnvironment(profile), kit.imagePath, {}}),
            DownloadResult::Completed);
  ExpectJudgedConsistent(sim, {static_cast<long long>(image.size())}, image, store);
}

TEST(Simulator, DownloadBuildsTheStoredSelectionWithTheRealBuilderAndSendsIt) {
  DownloadKit kit;
  Profile profile;
  // The second section would cross the area boundary, so the builder moves it there: two areas.
  profile.WriteString("FontsAggiuntivi", "Font001", test::WriteFontFragments(kit.dir, "big", 300, 0x100000));
  profile.WriteString("FontsAggiuntivi", "Font002", test::WriteFontFragments(kit.dir, "next", 200, 0x60000));
  const std::string store = kit.dir.File("store");
  SimProcess sim({"--port", "0", "--store", store});
  ASSERT_TRUE(sim.Started());

  TransportHost host;
  const std::string program = kit.dir.File("program");
  ASSERT_TRUE(MakeFolders(program));
  DownloadJob job{host, profile, program, TcpSettings(sim.Port()), LoopbackOnly(), false, {}};
  ASSERT_EQ(BuildAndDownload(job), DownloadResult::Completed);
  const std::string image = ReadFile(DefaultFontSetPath(program));
  ASSERT_GT(image.size(), 0x150000u);
  ExpectJudgedConsistent(sim, {0x150000, static_cast<long long>(image.size()) - 0x150000}, image, store);
}

TEST(Simulator, SetComPortCommandReachesTheSerialPrinter) {
  SimProcess sim({"--pty"});
  ASSERT_TRUE(sim.Started());
  PortEnvironment env;
  env.devices = {{"COM1", sim.PtyPath()}};
  TransportHost host;
  const SetComPortResult result = SetComPort({host, env, PortSettings{}, {5, 2, 0, 1}, {}});
  EXPECT_TRUE(result.sent);
  const auto command = sim.Next("setup_command");
  EXPECT_EQ(Number(command, "speed"), 57600);
  EXPECT_EQ(Text(command, "parity"), "Odd");
  EXPECT_EQ(Number(command, "data_bits"), 7);
  EXPECT_EQ(Number(command, "stop_bits"), 2);
}

}  // namespace
}  // namespace corvelle
