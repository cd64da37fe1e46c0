// The substitute printer's logic apart from its I/O. The stream parser: announcements, area data,
// the set-up command, refusals and unexpected bytes, fed whole and split at every byte, over a
// serial line and over connections, and random input, which must keep every byte accounted for
// and memory bounded. Image assembly: when an image is complete, when area 2 is awaited, what
// makes one inconsistent, and that memory stays bounded.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "fontset/FontSetFormat.h"
#include "printer-sim/ImageAssembler.h"
#include "printer-sim/StreamParser.h"
#include "tools/TestImages.h"

namespace corvelle::printersim {
namespace {

using K = StreamEventKind;
using test::Announcement;

// The parser's events as short texts, the data of an area merged: "A1:12" announcement of area 1,
// "D<bytes>" data, "E1:10/12" area 1 ended after 10 of 12 bytes, "S19200/Even/8/1" set-up
// command, "R:<reason>" refused command, "U3:<first bytes>" unexpected bytes.
struct Recorder {
  explicit Recorder(StreamParser::Framing framing) : parser(framing) {}
  StreamSink Sink() {
    return [this](const StreamEvent& e) {
      const auto n = [](auto value) { return std::to_string(value); };
      if (e.kind == K::AreaData && !seen.empty() && seen.back()[0] == 'D') {
        seen.back() += e.bytes;
        return;
      }
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
  }

  StreamParser parser;
  std::vector<std::string> seen;
};

TEST(StreamParser, ReadsASerialLineTheSameWholeAndSplitAtEveryByte) {
  const std::vector<std::pair<std::string, std::vector<std::string>>> cases = {
      // Command bytes inside an area are data; what follows it before the next command is unexpected.
      {Announcement(1, 12) + "hello?Z:&world!?Z;&3\nabc",
       {"A1:12", "Dhello?Z:&wor", "E1:12/12", "U3:ld!", "A2:3", "Dabc", "E2:3/3"}},
      {"\x3F\x41\x37\x26\x33\x2C\x32\x2C\x31\x2C\x30\x0D\x0A?A7&5,0,0,1\r\n?A7&0,1,1,0\r\n",
       {"S19200/Even/8/1", "S57600/None/7/2", "S2400/Odd/8/1"}},
      // "?Q" is no command, nor is a '?' before another; of a long run the first 16 bytes are kept.
      {"\x01\x02noise?Q?" + Announcement(1, 1) + "D" + std::string(40, 'x') + "?A7&0,0,1,0\r\n",
       {"U10:\x01\x02noise?Q?", "A1:1", "DD", "E1:1/1", "U40:xxxxxxxxxxxxxxxx", "S2400/None/8/1"}},
      // Refused commands; the parser takes up again at the next '?'.
      {"?Z:&12a\njunk?Z;&2\nok", {"R:byte 0x61 where a digit or 0x0A belongs", "U5:\njunk", "A2:2", "Dok", "E2:2/2"}},
      {"?Z:&0\n", {"R:an empty area (length 0)"}},
      {"?Z:&0012\n", {"R:a length with a leading zero"}},
      {"?Z;&99999999999\n", {"R:a number of more than 10 digits", "U1:\n"}},
      {"?Z:&12?Z:&1\nq", {"R:cut short by the start of another command", "A1:1", "Dq", "E1:1/1"}},
      {"?Z:&3801089\n?Z:&3801088\n", {"R:length 3801089 is more than the largest image (3801088 bytes)", "A1:3801088"}},
      {"?A7&6,0,0,0\r\n", {"R:speed position beyond 5"}},
      {"?A7&0,3,0,0\r\n", {"R:parity code beyond 2"}},
      {"?A7&0,0,0\r\n", {"R:byte 0x0D where a digit or ',' belongs", "U1:\n"}},
      {std::string(100000, 'g'), {"U100000:" + std::string(kUnexpectedSample, 'g')}},
  };
  for (const auto& [input, expected] : cases) {
    for (const std::size_t step : {input.size(), std::size_t{1}}) {
      Recorder serial(StreamParser::Framing::Serial);
      for (std::size_t at = 0; at < input.size(); at += step) serial.parser.Feed(input.substr(at, step), serial.Sink());
      serial.parser.Flush(serial.Sink());
      EXPECT_EQ(serial.seen, expected) << input << " in pieces of " << step;
    }
  }
}

TEST(StreamParser, OverConnectionsAnAreaComesOnTheNextConnectionThatCarriesBytes) {
  Recorder tcp(StreamParser::Framing::Connections);
  for (const std::string& connection :
       {Announcement(1, 4) + "tail", std::string(), std::string("data"), Announcement(2, 100), std::string(60, 'd'),
        std::string("?A7&1,0,1,0\r\n"), std::string("?Z:&12"), std::string("?Z"),
        Announcement(1, 20) + Announcement(2, 30)}) {
    tcp.parser.BeginConnection();
    tcp.parser.Feed(connection, tcp.Sink());
    tcp.parser.EndConnection(tcp.Sink());
  }
  EXPECT_EQ(tcp.seen, (std::vector<std::string>{
                          // The rest of an announcement's own connection is no data.
                          "A1:4", "U4:tail", "Ddata", "E1:4/4",
                          // An area cut short ends with its connection.
                          "A2:100", "D" + std::string(60, 'd'), "E2:60/100", "S4800/None/8/1",
                          // So does a command; "?Z" is none.
                          "R:cut short by the end of the connection", "U2:?Z",
                          // A second announcement ends the first, unfed.
                          "A1:20", "E1:0/20", "A2:30"}));
}

// Random bytes rich in command characters, in random pieces and connections: nothing crashes,
// every byte fed is in exactly one event, no area overruns its length, memory stays bounded.
TEST(StreamParser, RandomInputKeepsEveryByteAccountedForOnce) {
  std::mt19937 random(20240611);
  const std::string alphabet = std::string("?Z:;&A7,0123456789\r\nxq") + '\0' + '\xFF';
  for (int round = 0; round < 200; ++round) {
    StreamParser parser(round % 2 ? StreamParser::Framing::Connections : StreamParser::Framing::Serial);
    std::uint64_t fed = 0, accounted = 0;
    const StreamSink sink = [&](const StreamEvent& e) {
      EXPECT_TRUE(e.kind != K::AreaEnded || e.received <= e.length);
      EXPECT_LE(e.bytes.size(), 100u * 1024);
      accounted += e.kind == K::UnexpectedBytes ? e.count
                   : e.kind == K::Announcement  ? Announcement(e.area, e.length).size()
                                                : e.bytes.size();
    };
    parser.BeginConnection();
    for (int pieces = 1 + random() % 50; pieces > 0; --pieces) {
      std::string piece(1 + random() % 40, '\0');
      for (char& byte : piece) byte = alphabet[random() % alphabet.size()];
      parser.Feed(piece, sink);
      fed += piece.size();
      if (random() % 5 == 0) {
        parser.EndConnection(sink);
        parser.BeginConnection();
      }
    }
    parser.EndConnection(sink);
    EXPECT_EQ(accounted, fed);
  }
}

struct Assembly {
  // Feeds the events of one area, its data in pieces as reads deliver them; what the images handed
  // out say, joined with " | ": their format when consistent, else their problem.
  std::string Send(int area, std::string_view bytes, std::uint32_t announced = 0) {
    images.clear();
    StreamEvent event;
    event.area = area;
    event.length = announced ? announced : static_cast<std::uint32_t>(bytes.size());
    Handle(K::Announcement, event);
    for (std::size_t at = 0; at < bytes.size(); at += 65536) {
      event.bytes = bytes.substr(at, 65536);
      Handle(K::AreaData, event);
    }
    event.bytes = {};
    event.received = static_cast<std::uint32_t>(bytes.size());
    Handle(K::AreaEnded, event);
    std::string said;
    for (const JudgedImage& i : images) said += (said.empty() ? "" : " | ") + (i.consistent ? i.format : i.problem);
    return said;
  }
  void Handle(K kind, StreamEvent& event) {
    event.kind = kind;
    if (auto image = assembler.Handle(event)) images.push_back(std::move(*image));
  }

  ImageAssembler assembler;
  std::vector<JudgedImage> images;
};

TEST(ImageAssembler, JudgesEachImageOnceItsAreasHaveCome) {
  const std::string legacy = test::MakeLegacyImage({100, 2000}), twoAreas = test::MakeFontSetImage(0x180000);
  const std::string_view area1 = std::string_view(twoAreas).substr(0, AREA_BOUNDARY);
  const std::string_view area2 = std::string_view(twoAreas).substr(AREA_BOUNDARY);
  Assembly a;
  EXPECT_EQ(a.Send(1, legacy), "FontSet.SHF");
  EXPECT_EQ(a.images[0].bytes, legacy);
  // A header placing sections beyond the boundary waits for area 2.
  EXPECT_EQ(a.Send(1, area1), "");
  EXPECT_TRUE(a.assembler.AwaitingArea2());
  EXPECT_EQ(a.Send(2, area2), "FontSet.SHC");
  EXPECT_EQ(a.images[0].bytes, twoAreas);
  ASSERT_EQ(a.images[0].areas.size(), 2u);
  EXPECT_EQ(a.images[0].areas[1].received, 0x30000u);
  // An image that ends at the boundary is complete in area 1.
  EXPECT_EQ(a.Send(1, test::MakeFontSetImage(AREA_BOUNDARY)), "FontSet.SHC");
  EXPECT_FALSE(a.assembler.AwaitingArea2());
}

TEST(ImageAssembler, NamesTheFirstProblemOfAnInconsistentImage) {
  const std::string twoAreas = test::MakeFontSetImage(0x170000);
  const std::string_view area1 = std::string_view(twoAreas).substr(0, AREA_BOUNDARY);
  std::string legacy = test::MakeLegacyImage({5000}), miscounted = legacy;
  miscounted[0xF7] = 9;  // the table count
  Assembly a;
  EXPECT_EQ(a.Send(1, miscounted), "table count 9 at 0xF4, expected 8");
  EXPECT_EQ(a.Send(1, std::string(AREA_BOUNDARY, 'z')), "no image tag (KRV1D3 22 11) at 0xF8 or 0x808");
  EXPECT_EQ(a.Send(1, std::string_view(legacy).substr(0, 3000), 5256), "area 1 ended after 3000 of 5256 bytes");
  EXPECT_EQ(a.Send(1, twoAreas), "area 1 is 0x170000 bytes, more than the printer's first memory area (0x150000)");
  EXPECT_EQ(a.Send(2, "lonely"), "area 2 came without an area 1 before it");
  a.Send(1, area1);
  EXPECT_EQ(a.Send(2, "short", 0x20000), "area 2 ended after 5 of 131072 bytes");
  a.Send(1, area1);
  EXPECT_EQ(a.Send(1, legacy), "area 2 never came: another area 1 was announced | FontSet.SHF");
  a.Send(1, area1);
  EXPECT_EQ(a.assembler.Finish().value_or(JudgedImage{}).problem, "area 2 never came: the run ended");
  EXPECT_FALSE(a.assembler.Finish().has_value());
  // Bytes beyond the largest image are counted, not kept.
  a.Send(1, area1);
  EXPECT_EQ(a.Send(2, std::string(IMAGE_LIMIT, 'a')), "5177344 bytes arrived, more than the largest image (0x3A0000)");
  EXPECT_EQ(a.images[0].received, AREA_BOUNDARY + IMAGE_LIMIT);
  EXPECT_EQ(a.images[0].bytes.size(), IMAGE_LIMIT);
}

}  // namespace
}  // namespace corvelle::printersim
