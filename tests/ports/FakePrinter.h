// SPDX-License-Identifier: MIT
// A printer stand-in for tests of code that drives a CDevicePort: plug Factory() into
// PortEnvironment::backendFactory and every open, write, purge, drain and close is recorded with
// the host's (fake) time. Opens can be refused and the serial output queue scripted.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/Host.h"
#include "ports/PortBackend.h"

namespace corvelle::test {

struct PrinterEvent {
  enum class Type { Open, Write, Purge, Drain, Close };
  Type type;
  std::string bytes;  // Write only
  std::int64_t at;    // host time of the call
};

class FakePrinter {
 public:
  PortBackendFactory Factory() {
    return [this](PortKind, PortContext& context) { return std::make_unique<Backend>(*this, context.host); };
  }
  // Every byte written, across all opens.
  std::string Received() const {
    std::string all;
    for (const auto& e : events) all += e.bytes;
    return all;
  }

  std::vector<PrinterEvent> events;
  std::vector<PortOpenArgs> opens;  // the arguments of every open
  bool refuseOpen = false;          // Open answers false (and, like a real kind, says why)
  std::string refuseMessage = "The device is not open.";
  std::function<long()> queued;  // what QueuedOutput reports; 0 when unset
  bool failWrites = false;       // every later Write fails (the kinds report such a failure once)

 private:
  struct Backend : PortBackend {
    Backend(FakePrinter& printer, Host& host) : m(printer), m_host(host) {}
    Outcome Open(const PortOpenArgs& args) override {
      m.opens.push_back(args);
      Record(PrinterEvent::Type::Open);
      return m.refuseOpen ? Outcome::Failure(m.refuseMessage, MessageStyle::Error) : Outcome{};
    }
    Outcome Write(const std::uint8_t* bytes, std::size_t count) override {
      if (m.failWrites) return Outcome::Quiet();
      return Record(PrinterEvent::Type::Write, std::string(reinterpret_cast<const char*>(bytes), count));
    }
    void Purge() override { Record(PrinterEvent::Type::Purge); }
    Outcome DrainOutput() override { return Record(PrinterEvent::Type::Drain); }
    long QueuedOutput() override { return m.queued ? m.queued() : 0; }
    Outcome Close() override { return Record(PrinterEvent::Type::Close); }
    Outcome Record(PrinterEvent::Type type, std::string bytes = {}) {
      m.events.push_back({type, std::move(bytes), m_host.Now()});
      return {};
    }
    FakePrinter& m;
    Host& m_host;
  };
};

}  // namespace corvelle::test
