// Download test fixture.
#include "DownloadKit.h"

#include <poll.h>

#include <algorithm>

#include "resources/Strings.h"

namespace corvelle::test {
namespace {

// Long enough for any pause of a download; a test whose STOP never comes fails instead of hanging.
constexpr int kMaxWaitSteps = 100'000;
constexpr std::int64_t kWaitStepMs = 100;
// Real time a pause of TransportHost takes: the far end reads what came before it, as it would
// during a real pause, before the next open purges the line.
constexpr std::int64_t kTransportPauseMs = 50;

void WaitForStop(PortContext& context) {
  for (int i = 0; i < kMaxWaitSteps && !context.Cancelled(); ++i) context.host.WaitFor(kWaitStepMs);
}

// The fake printer's connection with the test's hooks in front of it.
class HookedBackend : public PortBackend {
 public:
  HookedBackend(std::unique_ptr<PortBackend> inner, PrinterHooks& hooks, PortContext& context)
      : m_inner(std::move(inner)), m_hooks(hooks), m_context(context) {}

  bool Open(const PortOpenArgs& args) override {
    ++m_hooks.opens;
    if (m_hooks.beforeOpen) m_hooks.beforeOpen(m_hooks.opens);
    return m_inner->Open(args);
  }
  bool Write(const std::uint8_t* bytes, std::size_t count) override {
    if (m_hooks.writesWaitForStop) {
      WaitForStop(m_context);
      return false;
    }
    if (!m_inner->Write(bytes, count)) return false;
    ++m_hooks.writes;
    if (m_hooks.afterWrite) m_hooks.afterWrite(m_hooks.writes);
    return true;
  }
  void Purge() override { m_inner->Purge(); }
  bool DrainOutput() override {
    const bool drained = m_inner->DrainOutput();
    if (!m_hooks.drainsWaitForStop) return drained;
    WaitForStop(m_context);
    return false;
  }
  long QueuedOutput() override { return m_inner->QueuedOutput(); }
  void PumpEvents() override { m_inner->PumpEvents(); }
  void Close() override { m_inner->Close(); }

 private:
  std::unique_ptr<PortBackend> m_inner;
  PrinterHooks& m_hooks;
  PortContext& m_context;
};

}  // namespace

::testing::AssertionResult SameBytes(const std::string& actual, const std::string& expected) {
  if (actual == expected) return ::testing::AssertionSuccess();
  const auto differ = std::mismatch(actual.begin(), actual.end(), expected.begin(), expected.end());
  return ::testing::AssertionFailure() << actual.size() << " bytes instead of " << expected.size()
                                       << ", first difference at offset " << (differ.first - actual.begin());
}

void TransportHost::WaitFor(std::int64_t ms, WaitMode mode) {
  ::poll(nullptr, 0, static_cast<int>(std::clamp<std::int64_t>(ms, 0, kTransportPauseMs)));
  FakeHost::WaitFor(ms, mode);
}

std::string ImageBytes(std::size_t size) {
  std::string bytes(size, '\0');
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 7 + (i >> 9) * 13 + (i >> 17)) & 0xFF);
  return bytes;
}

std::string OpenArgsText(const PortOpenArgs& a) {
  return a.portName + " number=" + std::to_string(a.portNumber) + " baud=" + std::to_string(a.baudIndex) +
         " parity=" + std::to_string(a.parityIndex) + " data=" + std::to_string(a.dataBitsIndex) +
         " stop=" + std::to_string(a.stopBitsIndex) + " xon=" + std::to_string(a.xonXoff) +
         " cts=" + std::to_string(a.ctsFlow) + " mask=" + std::to_string(a.eventMask) + " ip=" + a.ipAddress + ":" +
         std::to_string(a.ipPort) + " out=" + a.outputName + "/" + a.fallbackOutputName;
}

std::string WriteFontFragments(const TempDir& dir, const std::string& name, std::size_t headerBytes,
                               std::size_t dataBytes) {
  const std::string base = "fonts/" + name;
  std::string bytes(headerBytes + dataBytes, '\0');
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>((i * 11 + name.size()) % 251);
  dir.Write(base + "0.hea", std::string_view(bytes).substr(0, headerBytes));
  dir.Write(base + "0.sh", std::string_view(bytes).substr(headerBytes));
  return dir.File(base + ".she");
}

DownloadKit::DownloadKit() { imagePath = dir.File("FontSet.SHC"); }

const std::string& DownloadKit::MakeImage(std::size_t size) {
  image = ImageBytes(size);
  WriteFile(imagePath, image);
  return image;
}

DownloadRequest DownloadKit::Request() {
  PortEnvironment env;
  env.backendFactory = [this, inner = printer.Factory()](PortKind kind, PortContext& context) {
    return std::make_unique<HookedBackend>(inner(kind, context), hooks, context);
  };
  return {host, settings, env, imagePath, [this](const DownloadStep& step) { steps.push_back(step); }};
}

std::vector<PrinterEvent> DownloadKit::Events(PrinterEvent::Type type) const {
  std::vector<PrinterEvent> found;
  std::copy_if(printer.events.begin(), printer.events.end(), std::back_inserter(found),
               [type](const PrinterEvent& e) { return e.type == type; });
  return found;
}

std::vector<std::size_t> DownloadKit::WriteSizes(int openNumber) const {
  std::vector<std::size_t> sizes;
  int opens = 0;
  for (const auto& e : printer.events) {
    if (e.type == PrinterEvent::Type::Open) ++opens;
    if (e.type == PrinterEvent::Type::Write && opens == openNumber) sizes.push_back(e.bytes.size());
  }
  return sizes;
}

std::string DownloadKit::Script() const {
  std::string script;
  for (const auto& e : printer.events) script += "OWPDC"[static_cast<int>(e.type)];
  return script;
}

std::int64_t DownloadKit::PauseBeforeOpen(int openNumber) const {
  std::int64_t lastClose = -1;
  int opens = 0;
  for (const auto& e : printer.events) {
    if (e.type == PrinterEvent::Type::Close) lastClose = e.at;
    if (e.type == PrinterEvent::Type::Open && ++opens == openNumber) return e.at - lastClose;
  }
  return -1;
}

std::vector<std::string> DownloadKit::MessageTexts() const {
  std::vector<std::string> texts;
  for (const auto& m : host.messages) texts.push_back(m.text);
  return texts;
}

bool DownloadKit::Shown(int stringId) const {
  const std::string text(LoadStr(stringId));
  for (const auto& m : host.messages) {
    if (m.text == text) return true;
  }
  return std::find(host.progress.statuses.begin(), host.progress.statuses.end(), text) !=
         host.progress.statuses.end();
}

}  // namespace corvelle::test
