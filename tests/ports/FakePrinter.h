// A printer stand-in for tests of code that drives a CDevicePort: plug Factory() into
// PortEnvironment::backendFactory and every open, write, purge, drain and close is recorded with
// the host's (fake) time. Opens can be refused and the serial output queue scripted.
#pragma once

#include <algorithm>
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
  PortKind kind;
  std::string bytes;  // Write only
  std::int64_t at;    // host time of the call
};

class FakePrinter {
 public:
  PortBackendFactory Factory() {
    return [this](PortKind kind, PortContext& context) { return std::make_unique<Backend>(*this, kind, context); };
  }
  // Every byte written, across all opens.
  std::string Received() const {
    std::string all;
    for (const auto& e : events) all += e.bytes;
    return all;
  }
  int Count(PrinterEvent::Type type) const {
    return static_cast<int>(std::count_if(events.begin(), events.end(), [&](auto& e) { return e.type == type; }));
  }

  std::vector<PrinterEvent> events;
  std::vector<PortOpenArgs> opens;  // the arguments of every open
  bool refuseOpen = false;          // Open answers false (and, like a real kind, says why)
  std::string refuseMessage = "The device is not open.";
  std::function<long()> queued;  // what QueuedOutput reports; 0 when unset
  bool failWrites = false;       // every later Write fails (the kinds report such a failure once)

 private:
  class Backend : public PortBackend {
   public:
    Backend(FakePrinter& printer, PortKind kind, PortContext& context) : m(printer), m_kind(kind), m_context(context) {}
    bool Open(const PortOpenArgs& args) override {
      m.opens.push_back(args);
      Record(PrinterEvent::Type::Open);
      if (m.refuseOpen) m_context.host.ShowMessage(m.refuseMessage, MessageStyle::Error);
      return !m.refuseOpen;
    }
    bool Write(const std::uint8_t* bytes, std::size_t count) override {
      if (!m.failWrites) Record(PrinterEvent::Type::Write, std::string(reinterpret_cast<const char*>(bytes), count));
      return !m.failWrites;
    }
    void Purge() override { Record(PrinterEvent::Type::Purge); }
    bool DrainOutput() override { return Record(PrinterEvent::Type::Drain); }
    long QueuedOutput() override { return m.queued ? m.queued() : 0; }
    void Close() override { Record(PrinterEvent::Type::Close); }

   private:
    bool Record(PrinterEvent::Type type, std::string bytes = {}) {
      m.events.push_back({type, m_kind, std::move(bytes), m_context.host.Now()});
      return true;
    }
    FakePrinter& m;
    PortKind m_kind;
    PortContext& m_context;
  };
};

}  // namespace corvelle::test
