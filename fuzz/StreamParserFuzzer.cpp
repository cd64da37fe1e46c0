// SPDX-License-Identifier: MIT
// The printer simulator's stream parser, fed in chunks and connections the input chooses: every
// byte fed is accounted for exactly once (area data, a command, or unexpected bytes), an area
// never takes more than was announced, and what an event holds stays bounded.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fontset/FontSetFormat.h"
#include "fuzz/FuzzTargets.h"
#include "printer-sim/StreamParser.h"

using namespace corvelle;
using namespace corvelle::printersim;
using fuzz::Check;

namespace {

// A command is a prefix, four fields of at most ten digits with separators, CR and LF.
constexpr std::size_t kLongestCommand = 4 + 4 * 11 + 2;

struct Tally {
  std::uint64_t accounted = 0;
  int area = 0;  // the announced area whose data is being counted
  std::uint32_t length = 0;
  std::uint64_t areaBytes = 0;

  void operator()(const StreamEvent& event) {
    switch (event.kind) {
      case StreamEventKind::Announcement:
        Check(event.area == 1 || event.area == 2, "area 1 or 2");
        Check(event.length > 0 && event.length <= IMAGE_LIMIT, "announced length within the image limit");
        Check(area == 0, "the previous area ended before another was announced");
        // "?Z:&" or "?Z;&", the length without leading zeros, LF.
        accounted += 4 + std::to_string(event.length).size() + 1;
        area = event.area;
        length = event.length;
        areaBytes = 0;
        break;
      case StreamEventKind::AreaData:
        Check(event.area == area && area != 0, "data of the announced area");
        Check(!event.bytes.empty(), "no empty data event");
        areaBytes += event.bytes.size();
        accounted += event.bytes.size();
        Check(areaBytes <= length, "no more data than announced");
        break;
      case StreamEventKind::AreaEnded:
        Check(event.area == area && event.length == length, "the announced area ends");
        Check(event.received == areaBytes, "received counts the data events");
        area = 0;
        break;
      case StreamEventKind::SetupCommand:
        Check(event.setup.Speed() != 0 && !event.setup.ParityName().empty(), "setup within its ranges");
        Check(event.setup.dataBitsPosition <= 1 && event.setup.stopBitsPosition <= 1, "setup within its ranges");
        Check(event.bytes.size() <= kLongestCommand, "a bounded command");
        accounted += event.bytes.size();
        break;
      case StreamEventKind::RefusedCommand:
        Check(!event.reason.empty(), "a refusal says why");
        Check(event.bytes.size() <= kLongestCommand, "a bounded command");
        accounted += event.bytes.size();
        break;
      case StreamEventKind::UnexpectedBytes:
        Check(event.count > 0 && event.bytes.size() == std::min<std::uint64_t>(event.count, kUnexpectedSample),
              "a sample of the unexpected bytes");
        accounted += event.count;
        break;
    }
  }
};

}  // namespace

int fuzz::FuzzStreamParser(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  // The first byte chooses the framing; then each control byte says what comes next: a chunk of
  // 1..64 bytes, a new connection, or a flush.
  StreamParser parser(data[0] & 1 ? StreamParser::Framing::Connections : StreamParser::Framing::Serial);
  Tally tally;
  const StreamSink sink = [&](const StreamEvent& event) { tally(event); };
  std::uint64_t fed = 0;
  std::size_t at = 1;
  while (at < size) {
    const std::uint8_t control = data[at++];
    switch (control & 3) {
      case 0:
        parser.EndConnection(sink);
        parser.BeginConnection();
        break;
      case 1:
        parser.Flush(sink);
        break;
      default: {
        const std::size_t length = std::min<std::size_t>((control >> 2) + 1, size - at);
        parser.Feed(std::string_view(reinterpret_cast<const char*>(data + at), length), sink);
        Check(parser.AreaReceived() <= tally.length, "no more data than announced");
        fed += length;
        at += length;
      }
    }
  }
  parser.EndConnection(sink);
  Check(tally.accounted == fed, "every byte fed is accounted for once");
  return 0;
}

CORVELLE_FUZZ_ENTRY(FuzzStreamParser)
