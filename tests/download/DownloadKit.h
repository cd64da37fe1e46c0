// Fixture for the download tests: an image of chosen length in a temporary folder, the fake host
// with its fake clock, and the recording fake printer behind hooks that let a test act at the
// n-th open or write, block a write or a drain until STOP, and shrink the image mid-transfer.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "download/Download.h"
#include "ports/FakePrinter.h"
#include "support/FakeHost.h"
#include "support/TempDir.h"

namespace corvelle::test {

// Deterministic bytes that differ from offset to offset (and from 512-byte chunk to chunk), so a
// lost, repeated or misplaced chunk shows.
std::string ImageBytes(std::size_t size);

// Equal byte strings; otherwise the sizes and the first offset that differs (never megabytes).
::testing::AssertionResult SameBytes(const std::string& actual, const std::string& expected);

// Fake time for the download, with every wait also taking some real time (up to 50 ms), so a real
// transport and its far end get the time they need: a socket's linger, a reader draining a line.
class TransportHost : public FakeHost {
 public:
  void WaitFor(std::int64_t ms, WaitMode mode = WaitMode::Responsive) override;
};

// The open arguments in one line, for comparing them whole:
// "COM12: number=12 baud=5 parity=2 data=0 stop=1 xon=1 cts=1 mask=0 ip=127.0.0.1:9100 out=a/b".
std::string OpenArgsText(const PortOpenArgs& args);

// Writes the part-0 fragments of a font (header and data, bytes other than 0xFF) into
// `dir`/fonts and returns the path of its .she file, the value a profile stores for a position.
std::string WriteFontFragments(const TempDir& dir, const std::string& name, std::size_t headerBytes,
                               std::size_t dataBytes);

// What the fake printer's connections do besides recording.
struct PrinterHooks {
  std::function<void(int openNumber)> beforeOpen;   // 1-based, before the open is recorded
  std::function<void(int writeNumber)> afterWrite;  // 1-based over the whole download
  bool writesWaitForStop = false;  // a write waits (on the host) until STOP, then fails
  bool drainsWaitForStop = false;  // the output queue never empties: drains wait until STOP
  int opens = 0;
  int writes = 0;
};

class DownloadKit {
 public:
  DownloadKit();

  // Writes an image of `size` bytes (see ImageBytes) and returns its bytes.
  const std::string& MakeImage(std::size_t size);

  DownloadRequest Request();
  DownloadResult Download() { return DownloadFontSet(Request()); }
  DownloadResult DownloadLegacy() { return DownloadLegacyFontSet(Request()); }

  // The events of one type, in order.
  std::vector<PrinterEvent> Events(PrinterEvent::Type type) const;
  // Sizes of the writes made after the `openNumber`-th open (1-based) and before the next one.
  std::vector<std::size_t> WriteSizes(int openNumber) const;
  // The event types in order, as letters: O open, W write, P purge, D drain, C close.
  std::string Script() const;
  // Fake time between the close before the `openNumber`-th open and that open.
  std::int64_t PauseBeforeOpen(int openNumber) const;
  // Texts of the messages shown.
  std::vector<std::string> MessageTexts() const;
  bool Shown(int stringId) const;

  TempDir dir;
  FakeHost host;
  FakePrinter printer;
  PrinterHooks hooks;
  PortSettings settings;
  std::string imagePath;
  std::string image;
  std::vector<DownloadStep> steps;
};

}  // namespace corvelle::test
