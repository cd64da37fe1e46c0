// SPDX-License-Identifier: MIT
// Fixture for the download tests: an image of chosen length in a temporary folder, the fake host
// with its fake clock, and the recording fake printer with faults at chosen opens, writes and times.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "download/Download.h"
#include "ports/OutputWait.h"
#include "ports/FakePrinter.h"
#include "support/FakeHost.h"
#include "support/TempDir.h"

namespace corvelle::test {

// The open arguments that a download or Set COM port chooses, in one line for comparing them
// whole: "COM12: baud=5 xon=1 cts=1 mask=0 out=fontext.out/fontext.out".
inline std::string OpenArgsText(const PortOpenArgs& a) {
  return a.portName + " baud=" + std::to_string(a.baudIndex) + " xon=" + std::to_string(a.xonXoff) +
         " cts=" + std::to_string(a.ctsFlow) + " mask=" + std::to_string(a.eventMask) + " out=" + a.outputName + "/" +
         a.fallbackOutputName;
}

// The printer's events in order: O open, W and the bytes written, P purge, D drain, C close, with a
// run of n equal events as "n*": "OW12DCO2687*W512W160DC".
inline std::string Script(const FakePrinter& printer) {
  std::vector<std::string> events;
  for (const PrinterEvent& e : printer.events) {
    events.push_back("OWPDC"[static_cast<int>(e.type)] + (e.bytes.empty() ? "" : std::to_string(e.bytes.size())));
  }
  std::string script;
  for (std::size_t i = 0, run = 1; i < events.size(); i += run, run = 1) {
    while (i + run < events.size() && events[i + run] == events[i]) ++run;
    script += (run > 1 ? std::to_string(run) + "*" : "") + events[i];
  }
  return script;
}

// What goes wrong during a download; numbers count from 1 over the whole download, 0 is never.
struct Faults {
  std::int64_t stopAt = -1;  // STOP pressed at this fake time
  int stopAfterWrite = 0;
  int refuseOpen = 0;        // that open fails, with the port's message
  int failWrite = 0;         // that write and every later one fail
  bool holdFailedWrites = false;  // and first wait (on the host) until STOP, as flow control holds them
  bool holdDrains = false;   // the output queue never empties: drains wait until STOP
  long queued = 0;           // what the serial port's output queue always holds
  int shrinkAfterWrite = 0;  // the image is cut to 1000 bytes
  bool noProgressWindow = false;
  const char* imageName = nullptr;  // the download reads this file of the folder instead
  bool lostAtClose = false;  // the close finds the connection lost (as TCP/IP reports a reset)
  bool drainsWaitForQueue = false;  // a drain waits, as a real link's does, for the queue to empty
};

struct DownloadKit {
  // The waits come back after 2.5 s at most, as a repaint or a socket notification wakes them.
  DownloadKit() { host.wakeAfterMs = 2500; }

  // The fake printer's connection with the faults in front of it.
  struct Backend : PortBackend {
    Backend(std::unique_ptr<PortBackend> inner, DownloadKit& kit, PortContext& context)
        : inner(std::move(inner)), kit(kit), f(kit.faults), context(context) {}
    // Long enough for any pause of a download; a test whose STOP never comes fails, not hangs.
    void WaitForStop() {
      for (int i = 0; i < 100'000 && !context.Cancelled(); ++i) context.host.WaitFor(100);
    }
    Outcome Open(const PortOpenArgs& args) override {
      kit.openTimes.push_back(context.host.Now());
      kit.printer.refuseOpen = static_cast<int>(kit.openTimes.size()) == f.refuseOpen;
      return inner->Open(args);
    }
    Outcome Write(const std::uint8_t* bytes, std::size_t count) override {
      const int write = ++kit.writes;
      kit.printer.failWrites = f.failWrite && write >= f.failWrite;
      if (kit.printer.failWrites && f.holdFailedWrites) WaitForStop();
      if (write == f.stopAfterWrite) kit.host.PressStop();
      EXPECT_TRUE(write != f.shrinkAfterWrite || ::truncate(kit.imagePath.c_str(), 1000) == 0);
      return inner->Write(bytes, count);
    }
    void Purge() override { inner->Purge(); }
    Outcome DrainOutput() override {
      if (f.drainsWaitForQueue) {
        return WaitForQueue(context, [this] { return QueuedOutput(); }, 0, 0).Ok() ? Outcome{} : Outcome::Quiet();
      }
      if (f.holdDrains) WaitForStop();
      Outcome drained = inner->DrainOutput();
      if (drained && f.holdDrains) drained = context.Cancelled() ? Outcome::Stop() : Outcome::Quiet();
      return drained;
    }
    long QueuedOutput() override { return f.queued ? f.queued : inner->QueuedOutput(); }
    Outcome Close() override {
      Outcome closed = inner->Close();
      return f.lostAtClose && closed ? Outcome::Quiet() : closed;
    }

    std::unique_ptr<PortBackend> inner;
    DownloadKit& kit;
    const Faults& f;
    PortContext& context;
  };

  // Writes an image of `size` bytes, different at every offset and in every chunk, so a lost,
  // repeated or misplaced chunk shows; returns its bytes.
  const std::string& MakeImage(std::size_t size) {
    image.resize(size);
    for (std::size_t i = 0; i < size; ++i) image[i] = static_cast<char>((i * 7 + (i >> 9) * 13 + (i >> 17)) & 0xFF);
    WriteFile(imagePath, image);
    return image;
  }
  PortEnvironment Environment() {
    PortEnvironment env;
    env.backendFactory = [this, inner = printer.Factory()](PortKind kind, PortContext& context) {
      return std::make_unique<Backend>(inner(kind, context), *this, context);
    };
    return env;
  }
  DownloadResult Download(bool legacy = false) {
    if (faults.stopAt >= 0) host.At(faults.stopAt, [this] { host.PressStop(); });
    host.failProgressView = faults.noProgressWindow;
    if (faults.imageName) imagePath = dir.File(faults.imageName);
    DownloadRequest request{host, settings, Environment(), imagePath, {}};
    request.history = history;
    request.waitForPrinter = waitForPrinter;
    return legacy ? DownloadLegacyFontSet(request) : DownloadFontSet(request);
  }
  // The messages shown, joined with " | ", with the image's path written "<image>".
  std::string Messages() const {
    std::string texts = host.Messages();
    const auto at = texts.find(imagePath);
    return at == std::string::npos ? texts : texts.replace(at, imagePath.size(), "<image>");
  }

  TempDir dir;
  FakeHost host;
  FakePrinter printer;
  PortSettings settings;
  Faults faults;
  bool waitForPrinter = false;
  std::string imagePath = dir.File("FontSet.SHC");
  std::string image;
  std::vector<std::int64_t> openTimes;  // fake time of every open
  int writes = 0;
  DownloadHistory* history = nullptr;  // where the download is recorded, when set
};

}  // namespace corvelle::test
