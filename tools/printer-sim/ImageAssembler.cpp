// SPDX-License-Identifier: MIT
// Image assembly from areas, and the verdict on each image.
#include "printer-sim/ImageAssembler.h"

#include <algorithm>
#include <cstdio>

#include "base/Text.h"
#include "fontset/FontSetFormat.h"
#include "fontset/ImageReader.h"

namespace corvelle::printersim {
namespace {

std::string CutShort(const StreamEvent& event) {
  return "area " + std::to_string(event.area) + " ended after " + std::to_string(event.received) + " of " +
         std::to_string(event.length) + " bytes";
}

}  // namespace

std::optional<JudgedImage> ImageAssembler::Handle(const StreamEvent& event) {
  switch (event.kind) {
    case StreamEventKind::Announcement:
      if (event.area == 1 && m_awaitingArea2) {
        JudgedImage image = Judge("area 2 never came: another area 1 was announced");
        return image;
      }
      if (!m_awaitingArea2) Reset();
      return std::nullopt;
    case StreamEventKind::AreaData: {
      // Room for the largest image at once: the image never moves as it grows, and only the
      // pages written are ever touched, which matters with a thousand printers receiving at once.
      if (m_bytes.capacity() < IMAGE_LIMIT) m_bytes.reserve(IMAGE_LIMIT);
      m_received += event.bytes.size();
      const std::size_t room = IMAGE_LIMIT - m_bytes.size();
      m_bytes.append(event.bytes.substr(0, std::min(room, event.bytes.size())));
      return std::nullopt;
    }
    case StreamEventKind::AreaEnded:
      m_areas.push_back({event.area, event.length, event.received});
      if (event.area == 2 && m_areas.size() == 1) return Judge("area 2 came without an area 1 before it");
      if (!event.Complete()) return Judge(CutShort(event));
      if (event.area == 1 && event.length == AREA_BOUNDARY && HeaderExpectsArea2()) {
        m_awaitingArea2 = true;
        return std::nullopt;
      }
      return Judge("");
    case StreamEventKind::SetupCommand:
    case StreamEventKind::RefusedCommand:
    case StreamEventKind::UnexpectedBytes:
      break;
  }
  return std::nullopt;
}

std::optional<JudgedImage> ImageAssembler::Finish() {
  if (!m_awaitingArea2) return std::nullopt;
  return Judge("area 2 never came: the run ended");
}

// A FontSet.SHC header that places a section at or beyond the boundary means the image goes on
// in area 2. A header that cannot be read expects nothing more: the image is judged at once.
bool ImageAssembler::HeaderExpectsArea2() const {
  const ImageReport report = InspectImage(m_bytes);
  if (report.kind != ImageKind::FontSet) return false;
  return std::any_of(report.entries.begin(), report.entries.end(),
                     [](const ImageEntry& entry) { return entry.offset >= AREA_BOUNDARY; });
}

JudgedImage ImageAssembler::Judge(std::string problem) {
  JudgedImage image;
  image.number = ++m_judged;
  image.received = m_received;
  image.areas = std::move(m_areas);
  image.bytes = std::move(m_bytes);
  const ImageReport report = InspectImage(image.bytes);
  image.format = std::string(ImageKindName(report.kind));
  if (problem.empty() && image.received > IMAGE_LIMIT) {
    problem =
        std::to_string(image.received) + " bytes arrived, more than the largest image (" + HexNumber(IMAGE_LIMIT) + ")";
  }
  if (problem.empty() && image.areas.front().length > AREA_BOUNDARY) {
    problem = "area 1 is " + HexNumber(image.areas.front().length) +
              " bytes, more than the printer's first memory area (" + HexNumber(AREA_BOUNDARY) + ")";
  }
  if (problem.empty()) problem = report.verdict.message;
  image.problem = std::move(problem);
  image.consistent = image.problem.empty();
  Reset();
  return image;
}

void ImageAssembler::Reset() {
  m_bytes.clear();
  m_received = 0;
  m_areas.clear();
  m_awaitingArea2 = false;
}

}  // namespace corvelle::printersim
