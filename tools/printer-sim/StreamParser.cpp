// SPDX-License-Identifier: MIT
// Reading announcements, area data and the set-up command out of a byte stream.
#include "printer-sim/StreamParser.h"

#include <algorithm>
#include <cstdio>

namespace corvelle::printersim {
namespace {

constexpr std::string_view kArea1Prefix = "?Z:&";
constexpr std::string_view kArea2Prefix = "?Z;&";
constexpr std::string_view kSetupPrefix = "?A7&";
constexpr std::size_t kPrefixLength = 4;
// A number of more digits than this is refused before it can overflow.
constexpr int kMaxDigits = 10;
constexpr int kSetupFields = 4;

constexpr int kSpeeds[] = {2400, 4800, 9600, 19200, 38400, 57600};
constexpr std::string_view kParityNames[] = {"None", "Odd", "Even"};

bool IsDigit(char byte) { return byte >= '0' && byte <= '9'; }

std::string ByteName(char byte) {
  char text[8];
  std::snprintf(text, sizeof text, "0x%02X", static_cast<unsigned char>(byte));
  return text;
}

}  // namespace

int SetupCommand::Speed() const {
  return speedPosition >= 0 && speedPosition < static_cast<int>(std::size(kSpeeds)) ? kSpeeds[speedPosition] : 0;
}

std::string_view SetupCommand::ParityName() const {
  return parityCode >= 0 && parityCode < static_cast<int>(std::size(kParityNames)) ? kParityNames[parityCode] : "";
}

void StreamParser::BeginConnection() { m_freshConnection = true; }

bool StreamParser::DataComesNext() const {
  return m_state == State::Data || (m_freshConnection && m_area != 0 && m_state == State::Scanning);
}

void StreamParser::Feed(std::string_view chunk, const StreamSink& sink) {
  if (chunk.empty()) return;
  if (m_freshConnection) {
    m_freshConnection = false;
    if (m_area != 0 && m_state == State::Scanning) StartData();
  }
  std::size_t i = 0;
  while (i < chunk.size()) {
    if (m_state == State::Data) {
      const std::size_t take = std::min<std::size_t>(m_length - m_received, chunk.size() - i);
      StreamEvent event;
      event.kind = StreamEventKind::AreaData;
      event.area = m_area;
      event.length = m_length;
      event.bytes = chunk.substr(i, take);
      sink(event);
      m_received += static_cast<std::uint32_t>(take);
      i += take;
      if (m_received == m_length) EndArea(sink);
      continue;
    }
    const char byte = chunk[i++];
    if (m_state == State::Command) {
      CommandByte(byte, sink);
    } else {
      ScanByte(byte);
    }
  }
}

void StreamParser::EndConnection(const StreamSink& sink) {
  if (m_state == State::Command) {
    if (m_commandKind == CommandKind::None) {
      Unexpected(m_command);
      m_command.clear();
      m_state = State::Scanning;
    } else {
      Refuse("cut short by the end of the connection", sink);
    }
  }
  if (m_state == State::Data) EndArea(sink);
  Flush(sink);
  m_freshConnection = false;
}

void StreamParser::Flush(const StreamSink& sink) {
  if (m_unexpectedCount == 0) return;
  StreamEvent event;
  event.kind = StreamEventKind::UnexpectedBytes;
  event.count = m_unexpectedCount;
  event.bytes = m_unexpectedSample;
  sink(event);
  m_unexpectedCount = 0;
  m_unexpectedSample.clear();
}

void StreamParser::ScanByte(char byte) {
  if (byte != '?') {
    Unexpected(std::string_view(&byte, 1));
    return;
  }
  m_state = State::Command;
  m_command.assign(1, byte);
  m_commandKind = CommandKind::None;
  m_field = 0;
  std::fill(std::begin(m_fields), std::end(m_fields), 0);
  std::fill(std::begin(m_fieldDigits), std::end(m_fieldDigits), 0);
}

void StreamParser::CommandByte(char byte, const StreamSink& sink) {
  if (m_commandKind == CommandKind::None) {
    const std::string candidate = m_command + byte;
    bool isPrefix = false;
    for (std::string_view prefix : {kArea1Prefix, kArea2Prefix, kSetupPrefix}) {
      if (prefix.starts_with(candidate)) isPrefix = true;
    }
    if (!isPrefix) return NotACommand(byte);
    m_command = candidate;
    if (m_command.size() == kPrefixLength) {
      // A command starts: what was skipped before it is reported first, keeping events in order.
      Flush(sink);
      m_commandKind = m_command == kArea1Prefix   ? CommandKind::Area1
                      : m_command == kArea2Prefix ? CommandKind::Area2
                                                  : CommandKind::Setup;
    }
    return;
  }

  const bool setup = m_commandKind == CommandKind::Setup;
  const bool lastField = !setup || m_field == kSetupFields - 1;
  const bool sawReturn = setup && m_command.back() == '\r';
  if (IsDigit(byte) && !sawReturn) {
    m_command += byte;
    if (++m_fieldDigits[m_field] > kMaxDigits) return Refuse("a number of more than 10 digits", sink);
    m_fields[m_field] = m_fields[m_field] * 10 + static_cast<std::uint64_t>(byte - '0');
    return;
  }
  if (byte == '?') {
    // Resynchronise: the broken command is refused and a new one starts here.
    Refuse("cut short by the start of another command", sink);
    return ScanByte(byte);
  }
  m_command += byte;
  const bool haveDigits = m_fieldDigits[m_field] > 0;
  if (setup && byte == ',' && !lastField && haveDigits) {
    ++m_field;
    return;
  }
  if (setup && byte == '\r' && lastField && haveDigits && !sawReturn) return;
  if (byte == '\n' && haveDigits && (!setup || sawReturn)) return CommandComplete(sink);
  const std::string expected = !haveDigits ? "a digit"
                               : sawReturn ? "0x0A"
                               : !setup    ? "a digit or 0x0A"
                               : lastField ? "a digit or 0x0D"
                                           : "a digit or ','";
  m_reason = "byte " + ByteName(byte) + " where " + expected + " belongs";
  Refuse(m_reason, sink);
}

void StreamParser::CommandComplete(const StreamSink& sink) {
  if (m_commandKind != CommandKind::Setup) {
    const std::uint64_t length = m_fields[0];
    if (length == 0) return Refuse("an empty area (length 0)", sink);
    if (m_command[kPrefixLength] == '0') return Refuse("a length with a leading zero", sink);
    if (length > IMAGE_LIMIT) {
      m_reason = "length " + std::to_string(length) + " is more than the largest image (" +
                 std::to_string(IMAGE_LIMIT) + " bytes)";
      return Refuse(m_reason, sink);
    }
    return Announce(m_commandKind == CommandKind::Area1 ? 1 : 2, static_cast<std::uint32_t>(length), sink);
  }
  if (m_fields[0] > 5) return Refuse("speed position beyond 5", sink);
  if (m_fields[1] > 2) return Refuse("parity code beyond 2", sink);
  if (m_fields[2] > 1) return Refuse("data-bits position beyond 1", sink);
  if (m_fields[3] > 1) return Refuse("stop-bits position beyond 1", sink);
  StreamEvent event;
  event.kind = StreamEventKind::SetupCommand;
  event.bytes = m_command;
  event.setup = {static_cast<int>(m_fields[0]), static_cast<int>(m_fields[1]), static_cast<int>(m_fields[2]),
                 static_cast<int>(m_fields[3])};
  sink(event);
  m_command.clear();
  m_state = State::Scanning;
}

void StreamParser::Refuse(std::string_view reason, const StreamSink& sink) {
  StreamEvent event;
  event.kind = StreamEventKind::RefusedCommand;
  event.bytes = m_command;
  event.reason = reason;
  sink(event);
  m_command.clear();
  m_state = State::Scanning;
}

void StreamParser::NotACommand(char byte) {
  Unexpected(m_command);
  m_command.clear();
  m_state = State::Scanning;
  ScanByte(byte);
}

void StreamParser::Unexpected(std::string_view bytes) {
  m_unexpectedCount += bytes.size();
  const std::size_t room = kUnexpectedSample - m_unexpectedSample.size();
  m_unexpectedSample.append(bytes.substr(0, std::min(room, bytes.size())));
}

void StreamParser::Announce(int area, std::uint32_t length, const StreamSink& sink) {
  m_command.clear();
  m_state = State::Scanning;
  // An announcement whose data never came is over once another one arrives.
  if (m_area != 0) EndArea(sink);
  StreamEvent event;
  event.kind = StreamEventKind::Announcement;
  event.area = area;
  event.length = length;
  sink(event);
  m_area = area;
  m_length = length;
  m_received = 0;
  if (m_framing == Framing::Serial) StartData();
}

void StreamParser::StartData() {
  m_state = State::Data;
  m_received = 0;
}

void StreamParser::EndArea(const StreamSink& sink) {
  StreamEvent event;
  event.kind = StreamEventKind::AreaEnded;
  event.area = m_area;
  event.length = m_length;
  event.received = m_received;
  sink(event);
  m_area = 0;
  m_length = 0;
  m_received = 0;
  m_state = State::Scanning;
}

}  // namespace corvelle::printersim
