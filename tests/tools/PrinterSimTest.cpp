// SPDX-License-Identifier: MIT
// The substitute printer's logic apart from its I/O. The stream parser: announcements, area data,
// the set-up command, refusals and unexpected bytes, fed whole and split at every byte, over a
// serial line and over connections (random input, which must keep every byte accounted for and
// memory bounded, is the fuzz target's). Image assembly: when an image is complete, when area 2 is awaited, what
// makes one inconsistent, and that memory stays bounded.
// kerv-printer-sim as a running program: over TCP on 127.0.0.1 (the area on the connection after
// its announcement's, --close-after, --talk, the end on SIGTERM, silent clients and the idle
// timeout, the store's caps) and the socket of its virtual USB bridge. The simulator as a serial
// printer on a pseudo-terminal, and whole downloads to it with the image stored and compared, are
// the download tests' end-to-end tests; the USB bridge's flow control and faults are tested
// through the stand-in libusb.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <set>

#include "fontset/FontSetFormat.h"
#include "fontset/FontSetKit.h"
#include "printer-sim/ImageAssembler.h"
#include "printer-sim/SimOptions.h"
#include "printer-sim/StreamParser.h"
#include "support/LoopbackPrinter.h"
#include "support/TempDir.h"
#include "tools/SimProcess.h"

namespace corvelle::printersim {
namespace {


using K = StreamEventKind;
using Framing = StreamParser::Framing;

// The parser's events for `pieces` (fed in turn on a serial line, each its own connection
// otherwise) as short texts, the data of an area merged: "A1:12" announcement of area 1,
// "D<bytes>" data, "E1:10/12" area 1 ended after 10 of 12 bytes, "S19200/Even/8/1" set-up
// command, "R:<reason>" refused command, "U3:<first bytes>" unexpected bytes.
std::vector<std::string> Parse(Framing framing, const std::vector<std::string>& pieces) {
  StreamParser parser(framing);
  std::vector<std::string> seen;
  const auto n = [](auto value) { return std::to_string(value); };
  const StreamSink sink = [&](const StreamEvent& e) {
    if (e.kind == K::AreaData && !seen.empty() && seen.back()[0] == 'D') return void(seen.back() += e.bytes);
    switch (e.kind) {
      case K::Announcement: return seen.push_back("A" + n(e.area) + ":" + n(e.length));
      case K::AreaData: return seen.push_back("D" + std::string(e.bytes));
      case K::AreaEnded: return seen.push_back("E" + n(e.area) + ":" + n(e.received) + "/" + n(e.length));
      case K::SetupCommand:
        return seen.push_back("S" + n(e.setup.Speed()) + "/" + std::string(e.setup.ParityName()) + "/" +
                              n(e.setup.DataBits()) + "/" + n(e.setup.StopBits()));
      case K::RefusedCommand: return seen.push_back("R:" + std::string(e.reason));
      case K::UnexpectedBytes: return seen.push_back("U" + n(e.count) + ":" + std::string(e.bytes));
    }
  };
  for (const std::string& piece : pieces) {
    if (framing == Framing::Connections) parser.BeginConnection();
    parser.Feed(piece, sink);
    if (framing == Framing::Connections) parser.EndConnection(sink);
  }
  parser.Flush(sink);
  return seen;
}

TEST(StreamParser, ReadsASerialLineTheSameWholeAndSplitAtEveryByteAndOverConnections) {
  const std::vector<std::pair<std::string, std::vector<std::string>>> cases = {
      // Command bytes inside an area are data; what follows it before the next command is unexpected.
      {"?Z:&12\nhello?Z:&world!?Z;&3\nabc",
       {"A1:12", "Dhello?Z:&wor", "E1:12/12", "U3:ld!", "A2:3", "Dabc", "E2:3/3"}},
      {"\x3F\x41\x37\x26\x33\x2C\x32\x2C\x31\x2C\x30\x0D\x0A?A7&5,0,0,1\r\n?A7&0,1,1,0\r\n",
       {"S19200/Even/8/1", "S57600/None/7/2", "S2400/Odd/8/1"}},
      // "?Q" is no command, nor is a '?' before another; of a long run the first 16 bytes are kept.
      {"\x01\x02noise?Q??Z:&1\nD" + std::string(40, 'x') + "?A7&0,0,1,0\r\n",
       {"U10:\x01\x02noise?Q?", "A1:1", "DD", "E1:1/1", "U40:xxxxxxxxxxxxxxxx", "S2400/None/8/1"}},
      // Refused commands; the parser takes up again at the next '?'.
      {"?Z:&12a\njunk?Z;&2\nok", {"R:byte 0x61 where a digit or 0x0A belongs", "U5:\njunk", "A2:2", "Dok", "E2:2/2"}},
      {"?Z:&0\n?Z:&0012\n", {"R:an empty area (length 0)", "R:a length with a leading zero"}},
      {"?Z;&99999999999\n", {"R:a number of more than 10 digits", "U1:\n"}},
      {"?Z:&12?Z:&1\nq", {"R:cut short by the start of another command", "A1:1", "Dq", "E1:1/1"}},
      {"?Z:&3801089\n?Z:&3801088\n", {"R:length 3801089 is more than the largest image (3801088 bytes)", "A1:3801088"}},
      {"?A7&6,0,0,0\r\n?A7&0,3,0,0\r\n", {"R:speed position beyond 5", "R:parity code beyond 2"}},
      {"?A7&0,0,0\r\n", {"R:byte 0x0D where a digit or ',' belongs", "U1:\n"}},
      {std::string(100000, 'g'), {"U100000:" + std::string(kUnexpectedSample, 'g')}},
  };
  for (const auto& [input, expected] : cases) {
    for (const std::size_t step : {input.size(), std::size_t{1}}) {
      std::vector<std::string> pieces;
      for (std::size_t at = 0; at < input.size(); at += step) pieces.push_back(input.substr(at, step));
      EXPECT_EQ(Parse(Framing::Serial, pieces), expected) << input << " in pieces of " << step;
    }
  }
  // Over connections an area comes on the next connection that carries bytes.
  EXPECT_EQ(Parse(Framing::Connections, {"?Z:&4\ntail", "", "data", "?Z;&100\n",
                                         std::string(60, 'd'), "?A7&1,0,1,0\r\n", "?Z:&12", "?Z",
                                         "?Z:&20\n?Z;&30\n"}),
            (std::vector<std::string>{
                // The rest of an announcement's own connection is no data.
                "A1:4", "U4:tail", "Ddata", "E1:4/4",
                // An area cut short ends with its connection.
                "A2:100", "D" + std::string(60, 'd'), "E2:60/100", "S4800/None/8/1",
                // So does a command; "?Z" is none.
                "R:cut short by the end of the connection", "U2:?Z",
                // A second announcement ends the first, unfed.
                "A1:20", "E1:0/20", "A2:30"}));
}

// A font set image as the builder makes it, of fonts with a part-0 header of each of `sizes`.
std::string Image(bool legacy, const std::vector<long>& sizes) {
  test::FontSetKit kit;
  for (std::size_t i = 0; i < sizes.size(); ++i) kit.AddFont(static_cast<int>(i + 1), "f" + std::to_string(i), {sizes[i]});
  EXPECT_TRUE(kit.Build(legacy)) << kit.OnlyMessage();
  return test::ReadFile(kit.builtPath);
}

// An image assembler behind a parser of connections, fed as a download sends: each announcement
// and each area's data on a connection of its own, the data in pieces as reads deliver them.
struct Assembly {
  // What the images handed out after one area say, joined with " | ": their format when
  // consistent, else their problem.
  std::string Send(int area, std::string_view bytes, std::size_t announced = 0) {
    images.clear();
    const std::string announcement =
        (area == 1 ? "?Z:&" : "?Z;&") + std::to_string(announced ? announced : bytes.size()) + "\n";
    for (const std::string_view connection : {std::string_view(announcement), bytes}) {
      parser.BeginConnection();
      for (std::size_t at = 0; at < connection.size(); at += 65536) parser.Feed(connection.substr(at, 65536), sink);
      parser.EndConnection(sink);
    }
    std::string said;
    for (const JudgedImage& i : images) said += (said.empty() ? "" : " | ") + (i.consistent ? i.format : i.problem);
    return said;
  }

  ImageAssembler assembler;
  std::vector<JudgedImage> images;
  StreamParser parser{Framing::Connections};
  const StreamSink sink = [this](const StreamEvent& e) {
    if (auto image = assembler.Handle(e)) images.push_back(std::move(*image));
  };
};

TEST(ImageAssembler, JudgesEachImageOnceItsAreasHaveComeAndNamesTheFirstProblemOfAnInconsistentOne) {
  const std::string legacy = Image(true, {100, 2000}), twoAreas = Image(false, {0x140000, 0x30000});
  Assembly a;
  EXPECT_EQ(a.Send(1, legacy), "FontSet.SHF");
  EXPECT_EQ(a.images[0].bytes, legacy);
  // A header placing sections beyond the boundary waits for area 2.
  EXPECT_EQ(a.Send(1, std::string_view(twoAreas).substr(0, AREA_BOUNDARY)), "");
  EXPECT_TRUE(a.assembler.AwaitingArea2());
  EXPECT_EQ(a.Send(2, std::string_view(twoAreas).substr(AREA_BOUNDARY)), "FontSet.SHC");
  EXPECT_TRUE(a.images[0].bytes == twoAreas && a.images[0].areas.size() == 2 && a.images[0].areas[1].received == 0x30000);
  // An image that ends at the boundary is complete in area 1.
  EXPECT_EQ(a.Send(1, Image(false, {AREA_BOUNDARY - 0x810})), "FontSet.SHC");
  EXPECT_FALSE(a.assembler.AwaitingArea2());

  // What makes an image inconsistent, named by its first problem.
  const std::string wide = Image(false, {0x140000, 0x20000});
  const std::string_view area1 = std::string_view(wide).substr(0, AREA_BOUNDARY);
  std::string small = Image(true, {5000}), miscounted = small;
  miscounted[0xF7] = 9;  // the table count
  EXPECT_EQ(a.Send(1, miscounted), "table count 9 at 0xF4, expected 8");
  EXPECT_EQ(a.Send(1, std::string(AREA_BOUNDARY, 'z')), "no image tag (KRV1D3 22 11) at 0xF8 or 0x808");
  EXPECT_EQ(a.Send(1, std::string_view(small).substr(0, 3000), 5256), "area 1 ended after 3000 of 5256 bytes");
  EXPECT_EQ(a.Send(1, wide), "area 1 is 0x170000 bytes, more than the printer's first memory area (0x150000)");
  EXPECT_EQ(a.Send(2, "lonely"), "area 2 came without an area 1 before it");
  a.Send(1, area1);
  EXPECT_EQ(a.Send(2, "short", 0x20000), "area 2 ended after 5 of 131072 bytes");
  a.Send(1, area1);
  EXPECT_EQ(a.Send(1, small), "area 2 never came: another area 1 was announced | FontSet.SHF");
  a.Send(1, area1);
  EXPECT_EQ(a.assembler.Finish().value_or(JudgedImage{}).problem, "area 2 never came: the run ended");
  EXPECT_FALSE(a.assembler.Finish().has_value());
  // Bytes beyond the largest image are counted, not kept.
  a.Send(1, area1);
  EXPECT_EQ(a.Send(2, std::string(IMAGE_LIMIT, 'a')), "5177344 bytes arrived, more than the largest image (0x3A0000)");
  EXPECT_TRUE(a.images[0].received == AREA_BOUNDARY + IMAGE_LIMIT && a.images[0].bytes.size() == IMAGE_LIMIT);
}

// The options refused: printers past the last port or beyond the count's bounds, several printers
// with one pseudo-terminal or USB socket, a refusal of no printer or with no one refusing, the
// USB faults without the bridge and a hold without its XOFF.
TEST(SimOptionsPrinters, EachPrinterHasItsOwnPortLogAndStoreAndTheCountIsBounded) {
  const ParsedOptions parsed = ParseSimOptions({"--printers", "3", "--port", "4001", "--log", "logs.d/sim.jsonl",
                                                "--store", "images", "--refuse-first", "2"});
  ASSERT_EQ(parsed.outcome, ParsedOptions::Outcome::Run) << parsed.error;
  EXPECT_EQ(PrinterOptions(parsed.options, 2).refuseFirst, 1) << "the second of the first two refuses";
  const SimOptions third = PrinterOptions(parsed.options, 3);
  EXPECT_EQ(std::tie(third.refuseFirst, third.printers, third.port, third.logPath, third.storeFolder),
            std::make_tuple(0, 1, 4003, std::string("logs.d/sim-3.jsonl"), std::string("images/printer-3")));
  const SimOptions free = PrinterOptions(ParseSimOptions({"--port", "0", "--log", "logs.d/sim"}).options, 2);
  EXPECT_EQ(std::tie(free.port, free.logPath), std::make_tuple(0, std::string("logs.d/sim-2"))) << "each picks a free port";
  EXPECT_EQ(PrinterOptions(ParseSimOptions({"--log", "-"}).options, 2).logPath, "-") << "one stream, each record naming its printer";
  EXPECT_EQ(ParseSimOptions({"--port", "65534", "--printers", "2"}).outcome, ParsedOptions::Outcome::Run);
  for (const std::vector<std::string>& bad :
       {std::vector<std::string>{"--port", "65535", "--printers", "2"}, {"--printers", "0"}, {"--printers", "1025"},
        {"--printers", "2", "--pty"}, {"--printers", "2", "--usb", "/tmp/x.sock"}, {"--printers", "2", "--refuse-first", "3"},
        {"--refuse-for", "5"}, {"--pty", "--refuse-first", "1"},
        {"--usb-unplug-after", "5"}, {"--usb", "/tmp/x.sock", "--usb-xoff-for", "10"}}) {
    EXPECT_EQ(ParseSimOptions(bad).outcome, ParsedOptions::Outcome::Error) << bad[0] << " " << bad[1];
  }
}

using namespace test;

// A TCP connection to `port` on loopback, closed when it goes, with `bytes` sent on it (all of
// them, unless the printer closes the connection first); invalid when the connection is refused.
PrinterEnd Connect(int port, std::string_view bytes = {}) {
  PrinterEnd end(loopback::Connect(port));
  if (end.Valid()) ::send(end.Handle(), bytes.data(), bytes.size(), MSG_NOSIGNAL);
  return end;
}

TEST(PrinterSimTcp, CloseAfterCutsTheDataConnectionTalkAnswersAndSigtermEndsTheRun) {
  SimProcess sim({"--port", "0", "--close-after", "1000", "--talk", "12"});
  ASSERT_TRUE(sim.Started());
  Connect(sim.Port(), "?Z:&50000\n");  // as a download announces, on a connection of its own
  {
    const PrinterEnd data = Connect(sim.Port());
    EXPECT_EQ(data.Read(12, 10000), std::string("KERV\0KERV\0KE", 12));
    ::send(data.Handle(), std::string(50000, 'd').data(), 50000, MSG_NOSIGNAL);  // fails part-way once the printer has closed
    EXPECT_EQ(data.Read(1, 10000), "");                                         // closed by the printer
  }
  const auto area = sim.Next("area_received");
  EXPECT_TRUE(EventNumber(area, "bytes") == 1000 && !EventFlag(area, "complete"));
  EXPECT_EQ(EventText(sim.Next("image"), "problem"), "area 1 ended after 1000 of 50000 bytes");
  const auto closed = sim.Next("connection_closed");
  EXPECT_EQ(std::tuple(EventText(closed, "reason"), EventNumber(closed, "connection"), EventNumber(closed, "sent")),
            std::tuple("close-after", 2LL, 12LL));
  EXPECT_EQ(sim.Stop(), 0);
  EXPECT_EQ(EventText(sim.Next("exit", 0), "reason"), "SIGTERM");
}

// One image of area 1 alone: its announcement and its bytes on a connection each.
void SendImage(const SimProcess& sim, std::size_t bytes) {
  Connect(sim.Port(), "?Z:&" + std::to_string(bytes) + "\n");
  Connect(sim.Port(), std::string(bytes, 'i'));
}

TEST(PrinterSimTcp, ASilentClientHoldsUpNobodyAndIsClosedAfterTheIdleTimeout) {
  EXPECT_FALSE(SimProcess({"--idle-timeout", "86401"}).Started()) << "a day at most";
  SimProcess sim({"--port", "0", "--idle-timeout", "1"});
  ASSERT_TRUE(sim.Started());
  PrinterEnd silent = Connect(sim.Port());
  SendImage(sim, 5);
  const auto image = sim.Next("image", 5000);
  ASSERT_TRUE(image) << "the client after a silent one is served";
  auto closed = sim.Next("connection_closed", 5000);
  while (closed && EventNumber(closed, "connection") != 1) closed = sim.Next("connection_closed", 5000);
  EXPECT_EQ(EventText(closed, "reason"), "idle timeout");
  EXPECT_LT(EventNumber(image, "t_ms"), EventNumber(closed, "t_ms")) << "served while the first was idle";
  const auto opened = std::find_if(sim.Events().begin(), sim.Events().end(),
                                   [](const QJsonObject& event) { return event["event"] == "connection_opened"; });
  ASSERT_NE(opened, sim.Events().end());
  EXPECT_GE(EventNumber(closed, "t_ms") - EventNumber(*opened, "t_ms"), 1000);
  EXPECT_EQ(silent.Read(1, 10000), "") << "the printer closed it";

  // One that keeps sending is served for longer than the timeout, and the one behind it waits
  // with its bytes that long without being idle; once the first falls silent it is closed and
  // the other comes next.
  PrinterEnd busy = Connect(sim.Port(), "?"), behind = Connect(sim.Port(), "?Z:&3\n");
  for (int i = 0; i < 4; ++i) {
    ::usleep(500 * 1000);
    ::send(busy.Handle(), "x", 1, MSG_NOSIGNAL);
  }
  const auto busyClosed = sim.Next("connection_closed", 5000);
  EXPECT_EQ(EventText(busyClosed, "reason") + std::to_string(EventNumber(busyClosed, "connection")), "idle timeout4");
  EXPECT_EQ(EventNumber(sim.Next("announcement", 5000), "length"), 3);
  behind = PrinterEnd();
  EXPECT_EQ(EventText(sim.Next("connection_closed", 5000), "reason"), "peer closed");
  busy = PrinterEnd();
  EXPECT_EQ(sim.Stop(), 0);
}

// Out of descriptors, the waiting connections stay in the backlog and the simulator rests
// instead of spinning on the failed accept; it accepts again once descriptors are free.
TEST(PrinterSimTcp, OutOfDescriptorsItRestsAndAcceptsOnceSomeAreFree) {
  SimProcess sim({"--port", "0"});
  ASSERT_TRUE(sim.Started());
  const std::string fdFolder = "/proc/" + std::to_string(sim.Pid()) + "/fd";
  const auto used = std::distance(std::filesystem::directory_iterator(fdFolder), {});
  const rlimit two_more{static_cast<rlim_t>(used + 2), static_cast<rlim_t>(used + 2)};
  ASSERT_EQ(::prlimit(sim.Pid(), RLIMIT_NOFILE, &two_more, nullptr), 0) << std::strerror(errno);
  {
    std::vector<PrinterEnd> clients(6);
    for (PrinterEnd& client : clients) client = Connect(sim.Port());
    ::usleep(1000 * 1000);
  }
  SendImage(sim, 5);
  ASSERT_TRUE(sim.Next("image", 10000)) << "served once the others are gone";
  const auto failures = std::count_if(sim.Events().begin(), sim.Events().end(),
                                      [](const QJsonObject& event) { return event["event"] == "accept_failed"; });
  EXPECT_TRUE(failures >= 1 && failures <= 30) << failures << " failed accepts: a rest between tries, not a spin";
  EXPECT_EQ(sim.Stop(), 0);
}

TEST(PrinterSimTcp, TheStoreKeepsTheNewestImagesWithinItsCaps) {
  test::TempDir dir;
  SimProcess sim({"--port", "0", "--store", dir.Path(), "--store-max-images", "3", "--store-max-bytes", "25"});
  ASSERT_TRUE(sim.Started());
  const auto removed = [&](std::size_t bytes) {
    SendImage(sim, bytes);
    EXPECT_TRUE(sim.Next("image"));
    std::vector<std::string> seen;
    for (const QJsonObject& event : sim.Events())
      if (event["event"] == "store_removed")
        seen.push_back((event["path"].toString().section('/', -1) + " " + event["reason"].toString()).toStdString());
    return seen;
  };
  for (const std::size_t bytes : {10, 10}) removed(bytes);
  EXPECT_EQ(removed(10), std::vector<std::string>{"image-001.bin store-max-bytes"});
  removed(4);  // 24 bytes in three images
  EXPECT_EQ(removed(2), (std::vector<std::string>{"image-001.bin store-max-bytes", "image-002.bin store-max-images"}));
  SendImage(sim, 30);
  EXPECT_EQ(EventText(sim.Next("store_failed"), "error"), "larger than --store-max-bytes 25");
  EXPECT_TRUE(sim.Next("image")->value("stored").isNull());
  EXPECT_EQ(sim.Stop(), 0);
  std::set<std::string> kept;
  for (const auto& entry : std::filesystem::directory_iterator(dir.Path())) kept.insert(entry.path().filename());
  EXPECT_EQ(kept, (std::set<std::string>{"image-003.bin", "image-004.bin", "image-005.bin"}));
}

TEST(PrinterSimTcp, SeveralPrintersEachOnItsOwnPortTheFirstRefusingForAWhileAndOneSignalEndsThemAll) {
  SimProcess sim({"--printers", "3", "--port", "0", "--refuse-first", "1", "--refuse-for", "3"});
  ASSERT_TRUE(sim.Started());
  const std::vector<int> ports = sim.Ports();
  ASSERT_EQ(std::set(ports.begin(), ports.end()).size(), 3u) << "three ports, all different";
  // The first printer is still starting up: its port is printed, but a connect is refused.
  EXPECT_FALSE(Connect(ports[0]).Valid());
  // Only the second printer is announced to, and only its log says so.
  Connect(ports[1], "?Z:&50000\n");
  EXPECT_EQ(EventNumber(sim.Next("announcement"), "printer"), 2);
  // Its time up, the first printer listens on the port it printed.
  const auto listening = sim.Next("listening");
  EXPECT_EQ(std::pair(EventNumber(listening, "printer"), EventNumber(listening, "port")), std::pair(1LL, 0LL + ports[0]));
  EXPECT_TRUE(Connect(ports[0]).Valid());
  // A signal interrupts one thread's wait; every printer must still end, at once.
  EXPECT_EQ(sim.Stop(), 0);
  std::multiset<int> ended;
  std::vector<std::string> firstPrinters;
  for (const QJsonObject& event : sim.Events()) {
    if (event.value("event") == "exit") ended.insert(event.value("printer").toInt());
    if (event.value("printer").toInt() == 1) firstPrinters.push_back(event.value("event").toString().toStdString());
  }
  EXPECT_EQ(ended, (std::multiset<int>{1, 2, 3}));
  EXPECT_EQ(firstPrinters, (std::vector<std::string>{"refusing", "listening", "connection_opened", "connection_closed", "exit"}));
}

TEST(PrinterSimUsb, TakesOverAStaleSocketButNotAFileOrASocketInUseAndRemovesItsOwnAtTheEnd) {
  test::TempDir dir;
  const std::string path = dir.File("usb.sock");
  sockaddr_un address{AF_UNIX, {}};  // a socket merely bound, left behind as by a killed program
  path.copy(address.sun_path, sizeof address.sun_path - 1);
  const int stale = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  ASSERT_TRUE(::bind(stale, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 && ::close(stale) == 0) << path;
  {
    SimProcess sim({"--usb", path});
    EXPECT_TRUE(sim.Started()) << "a socket nobody listens on is taken over";
    EXPECT_FALSE(SimProcess({"--usb", path}).Started()) << "one in use is not";
    EXPECT_EQ(sim.Stop(), 0);
  }
  EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(path))) << "the socket goes with the simulator";
  dir.Write("file", "keep");
  EXPECT_FALSE(SimProcess({"--usb", dir.File("file")}).Started());
  EXPECT_EQ(test::ReadFile(dir.File("file")), "keep");
}

}  // namespace
}  // namespace corvelle::printersim
