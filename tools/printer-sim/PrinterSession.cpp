// SPDX-License-Identifier: MIT
// Logging, judging and keeping what the substitute printer received.
#include "printer-sim/PrinterSession.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "base/FileWrite.h"
#include "base/Paths.h"

namespace corvelle::printersim {
namespace {

LogRecord WithSource(LogRecord record, const StreamSource& source) {
  record.Text("source", source.transport);
  if (source.transport == "tcp") {
    record.Number("connection", source.connection);
  } else {
    record.Null("connection");
  }
  return record;
}

}  // namespace

void PrinterSession::OnStreamEvent(const StreamEvent& event, const StreamSource& source) {
  switch (event.kind) {
    case StreamEventKind::Announcement:
      m_log.Write(
          WithSource(LogRecord("announcement"), source).Number("area", event.area).Number("length", event.length));
      break;
    case StreamEventKind::AreaData:
      break;
    case StreamEventKind::AreaEnded:
      m_log.Write(WithSource(LogRecord("area_received"), source)
                      .Number("area", event.area)
                      .Number("length", event.length)
                      .Number("bytes", event.received)
                      .Flag("complete", event.Complete()));
      break;
    case StreamEventKind::SetupCommand:
      m_log.Write(WithSource(LogRecord("setup_command"), source)
                      .Text("raw", event.bytes)
                      .Number("speed_position", event.setup.speedPosition)
                      .Number("speed", event.setup.Speed())
                      .Number("parity_code", event.setup.parityCode)
                      .Text("parity", event.setup.ParityName())
                      .Number("data_bits_position", event.setup.dataBitsPosition)
                      .Number("data_bits", event.setup.DataBits())
                      .Number("stop_bits_position", event.setup.stopBitsPosition)
                      .Number("stop_bits", event.setup.StopBits()));
      break;
    case StreamEventKind::RefusedCommand:
      m_log.Write(WithSource(LogRecord("refused_command"), source)
                      .Text("raw", event.bytes)
                      .Text("hex", HexBytes(event.bytes))
                      .Text("reason", event.reason));
      break;
    case StreamEventKind::UnexpectedBytes:
      m_log.Write(WithSource(LogRecord("unexpected_bytes"), source)
                      .Number("count", static_cast<std::int64_t>(event.count))
                      .Text("first", HexBytes(event.bytes)));
      break;
  }
  if (auto image = m_assembler.Handle(event)) LogImage(*image);
}

void PrinterSession::Finish() {
  if (auto image = m_assembler.Finish()) LogImage(*image);
}

void PrinterSession::LogImage(const JudgedImage& image) {
  ++m_images;
  LogRecord record("image");
  record.Number("number", image.number)
      .Number("bytes", static_cast<std::int64_t>(image.received))
      .Numbers("areas",
               [&] {
                 std::vector<std::int64_t> lengths;
                 for (const AreaRecord& area : image.areas) lengths.push_back(area.received);
                 return lengths;
               }())
      .Text("format", image.format)
      .Text("verdict", image.consistent ? "consistent" : "inconsistent")
      .Text("problem", image.problem);
  if (m_options.storeFolder.empty()) {
    record.Null("stored");
  } else {
    const std::string path = Store(image);
    if (path.empty()) {
      record.Null("stored");
    } else {
      record.Text("stored", path);
    }
  }
  m_log.Write(record);
}

// Writes the image's bytes to the store folder; the path, or "" after logging why not.
std::string PrinterSession::Store(const JudgedImage& image) {
  char name[32];
  std::snprintf(name, sizeof name, "image-%03d.bin", image.number);
  const std::string path = JoinPath(m_options.storeFolder, name);
  const std::uint64_t size = image.bytes.size();
  if (m_options.storeMaxBytes != 0 && size > m_options.storeMaxBytes) {
    m_log.Write(LogRecord("store_failed")
                    .Text("path", path)
                    .Text("error", "larger than --store-max-bytes " + std::to_string(m_options.storeMaxBytes)));
    return "";
  }
  MakeRoom(size);
  const Outcome written = ReplaceFileWhole(path, image.bytes);
  if (!written) {
    m_log.Write(LogRecord("store_failed").Text("path", path).Text("error", written.detail));
    return "";
  }
  m_stored.push_back({path, size});
  m_storedBytes += size;
  return path;
}

void PrinterSession::MakeRoom(std::uint64_t bytes) {
  while (!m_stored.empty()) {
    const bool tooMany = m_options.storeMaxImages != 0 && m_stored.size() >= m_options.storeMaxImages;
    const bool tooBig = m_options.storeMaxBytes != 0 && m_storedBytes + bytes > m_options.storeMaxBytes;
    if (!tooMany && !tooBig) return;
    const StoredImage oldest = m_stored.front();
    m_stored.pop_front();
    m_storedBytes -= oldest.bytes;
    LogRecord record("store_removed");
    record.Text("path", oldest.path)
        .Number("bytes", static_cast<std::int64_t>(oldest.bytes))
        .Text("reason", tooMany ? "store-max-images" : "store-max-bytes");
    if (::unlink(oldest.path.c_str()) != 0 && errno != ENOENT) record.Text("error", std::strerror(errno));
    m_log.Write(record);
  }
}

}  // namespace corvelle::printersim
