// SPDX-License-Identifier: MIT
// Puts received areas together into images and judges each one: area 1, and the area 2 that
// follows it when the image's header places sections beyond the printer's first memory area.
// Memory is bounded by the largest image: bytes beyond it are counted, not kept.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "printer-sim/StreamParser.h"

namespace corvelle::printersim {

struct AreaRecord {
  int area = 0;
  std::uint32_t length = 0;    // announced
  std::uint32_t received = 0;  // taken
};

struct JudgedImage {
  int number = 0;              // 1 for the first image of the run
  std::string bytes;           // what was kept: every byte unless more than IMAGE_LIMIT arrived
  std::uint64_t received = 0;  // data bytes that arrived for it
  std::vector<AreaRecord> areas;
  std::string format;  // "FontSet.SHC", "FontSet.SHF" or "unknown"
  bool consistent = false;
  std::string problem;  // the first problem found, empty when consistent
};

class ImageAssembler {
 public:
  // Takes the parser's events in order; returns an image when this event completes one, or
  // ends one that can no longer complete.
  std::optional<JudgedImage> Handle(const StreamEvent& event);
  // The run ends: an image still waiting for its area 2 is judged as it stands.
  std::optional<JudgedImage> Finish();

  bool AwaitingArea2() const { return m_awaitingArea2; }

 private:
  bool HeaderExpectsArea2() const;
  JudgedImage Judge(std::string problem);
  void Reset();

  std::string m_bytes;
  std::uint64_t m_received = 0;
  std::vector<AreaRecord> m_areas;
  bool m_awaitingArea2 = false;
  int m_judged = 0;
};

}  // namespace corvelle::printersim
