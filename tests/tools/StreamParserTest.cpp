// The substitute printer's stream parser: announcements, area data, the set-up command,
// refusals and unexpected bytes, fed in every kind of chunking.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "printer-sim/StreamParser.h"
#include "tools/TestImages.h"

namespace corvelle::printersim {
namespace {

using test::Announcement;

// A parser event with its views copied out, and area data merged into one record per area.
struct Seen {
  StreamEventKind kind;
  int area = 0;
  std::uint32_t length = 0;
  std::uint32_t received = 0;
  std::uint64_t count = 0;
  std::string bytes;
  std::string reason;
  SetupCommand setup;
};

class Recorder {
 public:
  explicit Recorder(StreamParser::Framing framing = StreamParser::Framing::Serial) : parser(framing) {}

  StreamSink Sink() {
    return [this](const StreamEvent& event) {
      if (event.kind == StreamEventKind::AreaData && !seen.empty() && seen.back().kind == StreamEventKind::AreaData) {
        seen.back().bytes.append(event.bytes);
        return;
      }
      seen.push_back({event.kind, event.area, event.length, event.received, event.count, std::string(event.bytes),
                      std::string(event.reason), event.setup});
    };
  }
  void Feed(std::string_view bytes) { parser.Feed(bytes, Sink()); }
  // One byte per call: every split point of every command is crossed.
  void FeedByteByByte(std::string_view bytes) {
    for (char byte : bytes) parser.Feed(std::string_view(&byte, 1), Sink());
  }
  void Connection(std::string_view bytes) {
    parser.BeginConnection();
    Feed(bytes);
    parser.EndConnection(Sink());
  }
  void Flush() { parser.Flush(Sink()); }

  std::vector<StreamEventKind> Kinds() const {
    std::vector<StreamEventKind> kinds;
    for (const Seen& event : seen) kinds.push_back(event.kind);
    return kinds;
  }

  StreamParser parser;
  std::vector<Seen> seen;
};

using K = StreamEventKind;

TEST(StreamParserSerial, AnnouncementSplitAcrossChunksThenItsData) {
  Recorder serial;
  serial.FeedByteByByte(Announcement(1, 12) + "hello?Z:&world!" + "?Z;&3\nabc");
  ASSERT_EQ(serial.Kinds(), (std::vector{K::Announcement, K::AreaData, K::AreaEnded, K::UnexpectedBytes,
                                         K::Announcement, K::AreaData, K::AreaEnded}));
  EXPECT_EQ(serial.seen[0].area, 1);
  EXPECT_EQ(serial.seen[0].length, 12u);
  // Command bytes inside an area are data.
  EXPECT_EQ(serial.seen[1].bytes, "hello?Z:&wor");
  EXPECT_TRUE(serial.seen[2].received == 12 && serial.seen[2].length == 12);
  // What follows the area before the next command is unexpected, reported as that command starts.
  EXPECT_EQ(serial.seen[3].bytes, "ld!");
  EXPECT_EQ(serial.seen[4].area, 2);
  EXPECT_EQ(serial.seen[5].bytes, "abc");
  serial.Flush();
  EXPECT_EQ(serial.seen.size(), 7u);
}

TEST(StreamParserSerial, OneChunkHoldsCommandsAndData) {
  Recorder serial;
  serial.Feed("ld!" + Announcement(1, 3) + "xyz" + "\x3F\x41\x37\x26\x35\x2C\x30\x2C\x30\x2C\x31\r\n");
  serial.Flush();
  ASSERT_EQ(serial.Kinds(),
            (std::vector{K::UnexpectedBytes, K::Announcement, K::AreaData, K::AreaEnded, K::SetupCommand}));
  EXPECT_EQ(serial.seen[0].count, 3u);
  EXPECT_EQ(serial.seen[2].bytes, "xyz");
  EXPECT_EQ(serial.seen[4].setup.Speed(), 57600);
  EXPECT_EQ(serial.seen[4].setup.ParityName(), "None");
  EXPECT_EQ(serial.seen[4].setup.DataBits(), 7);
  EXPECT_EQ(serial.seen[4].setup.StopBits(), 2);
}

TEST(StreamParserSetup, TheThirteenBytesOf19200EvenEightOne) {
  const std::string command = "\x3F\x41\x37\x26\x33\x2C\x32\x2C\x31\x2C\x30\x0D\x0A";
  for (bool byteByByte : {false, true}) {
    Recorder serial;
    byteByByte ? serial.FeedByteByByte(command) : serial.Feed(command);
    ASSERT_EQ(serial.Kinds(), std::vector{K::SetupCommand});
    const SetupCommand& setup = serial.seen[0].setup;
    EXPECT_EQ(serial.seen[0].bytes, command);
    EXPECT_EQ(setup.speedPosition, 3);
    EXPECT_EQ(setup.Speed(), 19200);
    EXPECT_EQ(setup.parityCode, 2);
    EXPECT_EQ(setup.ParityName(), "Even");
    EXPECT_EQ(setup.DataBits(), 8);
    EXPECT_EQ(setup.StopBits(), 1);
  }
}

TEST(StreamParserSetup, EverySpeedAndParityDecodes) {
  const int speeds[] = {2400, 4800, 9600, 19200, 38400, 57600};
  for (int position = 0; position < 6; ++position) {
    Recorder serial;
    serial.Feed("?A7&" + std::to_string(position) + ",1,0,0\r\n");
    ASSERT_EQ(serial.Kinds(), std::vector{K::SetupCommand});
    EXPECT_EQ(serial.seen[0].setup.Speed(), speeds[position]);
    EXPECT_EQ(serial.seen[0].setup.ParityName(), "Odd");
  }
}

TEST(StreamParserSetup, ValuesOutsideTheTablesAndBrokenSyntaxAreRefused) {
  const std::pair<std::string, std::string> cases[] = {
      {"?A7&6,0,0,0\r\n", "speed position beyond 5"},
      {"?A7&0,3,0,0\r\n", "parity code beyond 2"},
      {"?A7&0,0,2,0\r\n", "data-bits position beyond 1"},
      {"?A7&0,0,0,2\r\n", "stop-bits position beyond 1"},
      {"?A7&0,0,0\r\n", "byte 0x0D where a digit or ',' belongs"},
      {"?A7&0,0,0,0\n", "byte 0x0A where a digit or 0x0D belongs"},
      {"?A7&0,0,0,0\r\r", "byte 0x0D where 0x0A belongs"},
      {"?A7&0,,0,0\r\n", "byte 0x2C where a digit belongs"},
      {"?A7&0,0,0,0,0\r\n", "byte 0x2C where a digit or 0x0D belongs"},
  };
  for (const auto& [command, reason] : cases) {
    Recorder serial;
    serial.Feed(command);
    ASSERT_FALSE(serial.seen.empty()) << command;
    EXPECT_EQ(serial.seen[0].kind, K::RefusedCommand) << command;
    EXPECT_EQ(serial.seen[0].reason, reason) << command;
  }
}

TEST(StreamParserAnnouncement, MalformedLengthsAreRefusedAndTheNextCommandStillCounts) {
  const std::pair<std::string, std::string> cases[] = {
      {"?Z:&12a\n", "byte 0x61 where a digit or 0x0A belongs"},
      {"?Z:&\n", "byte 0x0A where a digit belongs"},
      {"?Z:&-5\n", "byte 0x2D where a digit belongs"},
      {"?Z;&12\r\n", "byte 0x0D where a digit or 0x0A belongs"},
      {"?Z:&0\n", "an empty area (length 0)"},
      {"?Z:&0012\n", "a length with a leading zero"},
      {"?Z;&99999999999\n", "a number of more than 10 digits"},
      {"?Z:&12?", "cut short by the start of another command"},
  };
  for (const auto& [broken, reason] : cases) {
    Recorder serial;
    serial.Feed(broken + "junk" + Announcement(2, 2) + "ok");
    serial.Flush();
    ASSERT_GE(serial.seen.size(), 2u) << broken;
    EXPECT_EQ(serial.seen[0].kind, K::RefusedCommand) << broken;
    EXPECT_EQ(serial.seen[0].reason, reason) << broken;
    // Resynchronised on the next '?': the announcement after the junk is taken with its data.
    const auto announced = std::find_if(serial.seen.begin(), serial.seen.end(),
                                        [](const Seen& event) { return event.kind == K::Announcement; });
    ASSERT_NE(announced, serial.seen.end()) << broken;
    EXPECT_EQ(announced->area, 2);
    EXPECT_EQ(std::next(announced)->bytes, "ok");
  }
}

TEST(StreamParserAnnouncement, LengthsUpToTheLargestImageOnly) {
  Recorder serial;
  serial.Feed("?Z:&3801089\n");
  ASSERT_EQ(serial.Kinds(), std::vector{K::RefusedCommand});
  EXPECT_EQ(serial.seen[0].reason, "length 3801089 is more than the largest image (3801088 bytes)");
  serial.Feed("?Z:&3801088\n");
  ASSERT_EQ(serial.Kinds(), (std::vector{K::RefusedCommand, K::Announcement}));
  EXPECT_EQ(serial.seen[1].length, 3801088u);
  EXPECT_TRUE(serial.parser.InAreaData());
}

TEST(StreamParserUnexpected, GarbageBetweenCommandsIsCountedWithItsFirstBytes) {
  Recorder serial;
  serial.FeedByteByByte("\x01\x02noise?Q?" + Announcement(1, 1) + "D" + std::string(40, 'x') + "?A7&0,0,1,0\r\n");
  ASSERT_EQ(serial.Kinds(), (std::vector{K::UnexpectedBytes, K::Announcement, K::AreaData, K::AreaEnded,
                                         K::UnexpectedBytes, K::SetupCommand}));
  // "?Q" is no command, nor is a '?' followed by another: their bytes count as unexpected.
  EXPECT_EQ(serial.seen[0].count, 10u);
  EXPECT_EQ(serial.seen[0].bytes, "\x01\x02noise?Q?");
  EXPECT_EQ(serial.seen[4].count, 40u);
  EXPECT_EQ(serial.seen[4].bytes, std::string(kUnexpectedSample, 'x'));
}

TEST(StreamParserUnexpected, AMegabyteOfGarbageIsOneBoundedReport) {
  Recorder serial;
  const std::string garbage(64 * 1024, 'g');
  for (int i = 0; i < 16; ++i) serial.Feed(garbage);
  serial.Flush();
  ASSERT_EQ(serial.Kinds(), std::vector{K::UnexpectedBytes});
  EXPECT_EQ(serial.seen[0].count, 16u * 64 * 1024);
  EXPECT_EQ(serial.seen[0].bytes.size(), kUnexpectedSample);
}

TEST(StreamParserConnections, DataComesOnTheNextConnectionThatCarriesBytes) {
  Recorder tcp(StreamParser::Framing::Connections);
  tcp.Connection(Announcement(1, 4) + "tail");
  // The rest of the announcement's own connection is not data.
  ASSERT_EQ(tcp.Kinds(), (std::vector{K::Announcement, K::UnexpectedBytes}));
  tcp.Connection("");
  EXPECT_EQ(tcp.seen.size(), 2u);
  tcp.parser.BeginConnection();
  EXPECT_TRUE(tcp.parser.DataComesNext());
  tcp.Feed("da");
  EXPECT_EQ(tcp.parser.AreaReceived(), 2u);
  tcp.Feed("ta?Z:&5\n");
  tcp.parser.EndConnection(tcp.Sink());
  ASSERT_EQ(tcp.Kinds(),
            (std::vector{K::Announcement, K::UnexpectedBytes, K::AreaData, K::AreaEnded, K::Announcement}));
  EXPECT_EQ(tcp.seen[2].bytes, "data");
  EXPECT_TRUE(tcp.seen[3].received == 4 && tcp.seen[3].length == 4);
}

TEST(StreamParserConnections, AnAreaCutShortEndsIncompleteWithTheConnection) {
  Recorder tcp(StreamParser::Framing::Connections);
  tcp.Connection(Announcement(2, 100));
  tcp.Connection(std::string(60, 'd'));
  ASSERT_EQ(tcp.Kinds(), (std::vector{K::Announcement, K::AreaData, K::AreaEnded}));
  EXPECT_EQ(tcp.seen[2].area, 2);
  EXPECT_EQ(tcp.seen[2].received, 60u);
  EXPECT_FALSE(tcp.seen[2].received == tcp.seen[2].length);
  // The parser is back to reading commands.
  tcp.Connection("?A7&1,0,1,0\r\n");
  EXPECT_EQ(tcp.seen.back().kind, K::SetupCommand);
}

TEST(StreamParserConnections, ASecondAnnouncementEndsTheFirstUnfed) {
  Recorder tcp(StreamParser::Framing::Connections);
  tcp.Connection(Announcement(1, 10));
  tcp.Connection(Announcement(1, 10));  // taken as area data: it is the next connection
  tcp.Connection(Announcement(1, 20) + Announcement(2, 30));
  ASSERT_EQ(tcp.Kinds(),
            (std::vector{K::Announcement, K::AreaData, K::AreaEnded, K::Announcement, K::AreaEnded, K::Announcement}));
  EXPECT_EQ(tcp.seen[2].received, Announcement(1, 10).size());
  EXPECT_EQ(tcp.seen[4].area, 1);
  EXPECT_EQ(tcp.seen[4].received, 0u);
}

TEST(StreamParserConnections, ACommandCutShortByTheConnectionsEndIsRefused) {
  Recorder tcp(StreamParser::Framing::Connections);
  tcp.Connection("?Z:&12");
  tcp.Connection("?Z");
  ASSERT_EQ(tcp.Kinds(), (std::vector{K::RefusedCommand, K::UnexpectedBytes}));
  EXPECT_EQ(tcp.seen[0].reason, "cut short by the end of the connection");
  EXPECT_EQ(tcp.seen[1].bytes, "?Z");
}

// Random bytes rich in command characters, in random chunks and connections: nothing crashes,
// every data byte is reported once, no area overruns its length, memory stays bounded.
TEST(StreamParserRobustness, RandomInputKeepsTheInvariants) {
  std::mt19937 random(20240611);
  std::string alphabet = "?Z:;&A7,0123456789\r\nxq";
  alphabet += '\0';
  alphabet += '\xFF';
  for (int round = 0; round < 200; ++round) {
    Recorder recorder(round % 2 ? StreamParser::Framing::Connections : StreamParser::Framing::Serial);
    std::string input;
    const std::size_t size = random() % 2000;
    for (std::size_t i = 0; i < size; ++i) input += alphabet[random() % alphabet.size()];
    std::uint64_t fed = 0;
    recorder.parser.BeginConnection();
    for (std::size_t at = 0; at < input.size();) {
      const std::size_t n = std::min<std::size_t>(1 + random() % 40, input.size() - at);
      recorder.Feed(std::string_view(input).substr(at, n));
      fed += n;
      at += n;
      if (random() % 5 == 0) {
        recorder.parser.EndConnection(recorder.Sink());
        recorder.parser.BeginConnection();
      }
    }
    recorder.parser.EndConnection(recorder.Sink());
    std::uint64_t accounted = 0;
    for (const Seen& event : recorder.seen) {
      if (event.kind == K::AreaData) accounted += event.bytes.size();
      if (event.kind == K::UnexpectedBytes) accounted += event.count;
      if (event.kind == K::RefusedCommand || event.kind == K::SetupCommand) accounted += event.bytes.size();
      if (event.kind == K::Announcement) accounted += Announcement(event.area, event.length).size();
      if (event.kind == K::AreaEnded) {
        EXPECT_LE(event.received, event.length);
      }
      EXPECT_LE(event.bytes.size(), 100u * 1024);
    }
    // Every byte fed is in exactly one event.
    EXPECT_EQ(accounted, fed);
  }
}

}  // namespace
}  // namespace corvelle::printersim
