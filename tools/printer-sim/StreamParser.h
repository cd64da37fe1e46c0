// SPDX-License-Identifier: MIT
// The substitute printer's reading of its input: area announcements, the area data that follows
// them, the serial set-up command, and everything else as unexpected bytes. Fed with byte chunks
// as they arrive, apart from any I/O, so that any input can be tried on it; memory stays bounded
// whatever it is fed.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "fontset/FontSetFormat.h"

namespace corvelle::printersim {

// An announcement may carry any length up to the largest image, IMAGE_LIMIT.
// How many of a run of unexpected bytes are kept to show.
inline constexpr std::size_t kUnexpectedSample = 16;

// "?A7&s,p,d,b\r\n": the printer's new serial line settings, as positions and codes.
struct SetupCommand {
  int speedPosition = 0;     // 0..5
  int parityCode = 0;        // 0 None, 1 Odd, 2 Even
  int dataBitsPosition = 0;  // 0..1
  int stopBitsPosition = 0;  // 0..1

  int Speed() const;                    // 2400 .. 57600
  std::string_view ParityName() const;  // "None", "Odd", "Even"
  int DataBits() const { return dataBitsPosition == 0 ? 7 : 8; }
  int StopBits() const { return stopBitsPosition == 0 ? 1 : 2; }
};

enum class StreamEventKind {
  Announcement,     // area, length
  AreaData,         // area, bytes: the next data bytes of the area
  AreaEnded,        // area, length, received: the area is complete or was cut short
  SetupCommand,     // setup, bytes: the raw command
  RefusedCommand,   // bytes: the raw command so far, reason
  UnexpectedBytes,  // count, bytes: the first kUnexpectedSample of them
};

// Views in an event are valid only during the sink call.
struct StreamEvent {
  StreamEventKind kind = StreamEventKind::UnexpectedBytes;
  int area = 0;                // 1 or 2
  std::uint32_t length = 0;    // the announced length
  std::uint32_t received = 0;  // AreaEnded: data bytes taken
  std::uint64_t count = 0;     // UnexpectedBytes: how many
  std::string_view bytes;
  std::string_view reason;
  SetupCommand setup;

  bool Complete() const { return received == length; }
};

using StreamSink = std::function<void(const StreamEvent&)>;

class StreamParser {
 public:
  // Serial: an area's data follows its announcement directly. Connections: an announcement
  // comes on a connection of its own and its data on the next connection that carries bytes.
  enum class Framing { Serial, Connections };

  explicit StreamParser(Framing framing) : m_framing(framing) {}

  // Connections framing: a new connection starts; its first byte begins a pending area's data.
  void BeginConnection();
  void Feed(std::string_view chunk, const StreamSink& sink);
  // The connection ended: a command cut short is refused, an area cut short ends incomplete.
  void EndConnection(const StreamSink& sink);
  // Reports the pending run of unexpected bytes now rather than when it ends.
  void Flush(const StreamSink& sink);

  bool InAreaData() const { return m_state == State::Data; }
  // True when the next byte fed is area data: inside an area, or a fresh connection after an
  // announcement.
  bool DataComesNext() const;
  // Data bytes taken of the current area.
  std::uint32_t AreaReceived() const { return m_state == State::Data ? m_received : 0; }

 private:
  enum class State { Scanning, Command, Data };
  enum class CommandKind { None, Area1, Area2, Setup };

  void ScanByte(char byte);
  void CommandByte(char byte, const StreamSink& sink);
  void CommandComplete(const StreamSink& sink);
  void Refuse(std::string_view reason, const StreamSink& sink);
  void NotACommand(char byte);
  void Unexpected(std::string_view bytes);
  void Announce(int area, std::uint32_t length, const StreamSink& sink);
  void StartData();
  void EndArea(const StreamSink& sink);

  Framing m_framing;
  State m_state = State::Scanning;
  bool m_freshConnection = false;

  // The command being read (bounded: its fields have at most a few digits each).
  std::string m_command;
  CommandKind m_commandKind = CommandKind::None;
  std::uint64_t m_fields[4] = {};
  int m_fieldDigits[4] = {};
  int m_field = 0;
  std::string m_reason;  // a refusal's reason, when it has to be composed

  // The announced area: waiting for its data, or receiving it.
  int m_area = 0;
  std::uint32_t m_length = 0;
  std::uint32_t m_received = 0;

  std::uint64_t m_unexpectedCount = 0;
  std::string m_unexpectedSample;
};

}  // namespace corvelle::printersim
