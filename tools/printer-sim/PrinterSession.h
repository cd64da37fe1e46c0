// SPDX-License-Identifier: MIT
// What the substitute printer does with what it has read: logs each event, assembles and judges
// images, keeps them when asked, and counts them for --exit-after-images.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <string_view>

#include "printer-sim/EventLog.h"
#include "printer-sim/ImageAssembler.h"
#include "printer-sim/SimOptions.h"
#include "printer-sim/StreamParser.h"

namespace corvelle::printersim {

// Where bytes came from: a TCP connection (its number) or the pseudo-terminal.
struct StreamSource {
  std::string_view transport;  // "tcp" or "pty"
  int connection = 0;          // TCP only
};

class PrinterSession {
 public:
  PrinterSession(EventLog& log, const SimOptions& options) : m_log(log), m_options(options) {}

  void OnStreamEvent(const StreamEvent& event, const StreamSource& source);
  // The run ends: an image still waiting for its area 2 is judged.
  void Finish();

  // --exit-after-images reached.
  bool Done() const { return m_options.exitAfterImages > 0 && m_images >= m_options.exitAfterImages; }

 private:
  void LogImage(const JudgedImage& image);
  std::string Store(const JudgedImage& image);
  // Removes the oldest stored images until one of `bytes` more fits the caps.
  void MakeRoom(std::uint64_t bytes);

  struct StoredImage {
    std::string path;
    std::uint64_t bytes = 0;
  };

  EventLog& m_log;
  const SimOptions& m_options;
  ImageAssembler m_assembler;
  int m_images = 0;
  std::deque<StoredImage> m_stored;  // oldest first
  std::uint64_t m_storedBytes = 0;
};

}  // namespace corvelle::printersim
