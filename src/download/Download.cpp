// SPDX-License-Identifier: MIT
// One download run: the plan's states carried out over the host, one device port and one
// progress view, and the "Download" action that builds the image first.
#include "download/Download.h"

#include <algorithm>
#include <map>
#include <memory>
#include <optional>
#include <vector>

#include "base/Host.h"
#include "base/Sha256.h"
#include "download/DownloadRecord.h"
#include "download/ImageChunks.h"
#include "download/PrinterClaim.h"
#include "base/FileHandle.h"
#include "fontset/FontSetBuilder.h"
#include "ports/DevicePort.h"
#include "ports/OutputWait.h"
#include "resources/Strings.h"

namespace corvelle {
namespace {

constexpr const char* kOutputName = "fontext.out";
constexpr const char* kNoProgressWindow = "The progress window cannot be shown; nothing was sent.";
// STOP in the wait after the whole image: what was sent stands, and the printer goes on with it.
constexpr const char* kSentThenStopped = "The whole font set was sent; the wait for the printer was stopped.";

std::string ImageErrorText(const char* what, const std::string& path, const std::string& reason) {
  return std::string(what) + " font set image\n" + path + " (" + reason + ")";
}

// Every open of a download asks for both kinds of output flow control and proposes the same
// output file, whatever the stored flow-control choices say.
PortOpenArgs DownloadOpenArgs(const PortSettings& settings) {
  PortOpenArgs args = MakePortOpenArgs(settings);
  args.xonXoff = 1;
  args.ctsFlow = 1;
  args.eventMask = 0;
  args.outputName = kOutputName;
  args.fallbackOutputName = kOutputName;
  return args;
}

// Records the attempt that said `said` last; a history that cannot be written is then said as
// well, and is the last thing said.
DownloadEnd Recorded(Host& host, DownloadHistory* history, const AttemptFacts& facts,
                     const std::vector<std::string>& savedFiles, const Outcome& said) {
  const std::string problem = RecordAttempt(history, facts, savedFiles, said);
  if (problem.empty()) return {facts.result, said, said};
  Outcome told = Outcome::Failure(problem);
  host.Show(told);
  return {facts.result, told, said};
}

class BusyCursor {
 public:
  explicit BusyCursor(Host& host) : m_host(host) { m_host.SetBusy(true); }
  ~BusyCursor() { m_host.SetBusy(false); }
  BusyCursor(const BusyCursor&) = delete;
  BusyCursor& operator=(const BusyCursor&) = delete;

 private:
  Host& m_host;
};

class DownloadRun {
 public:
  DownloadRun(const DownloadRequest& request, DownloadForm form)
      : m_request(request),
        m_host(request.host),
        m_form(form),
        m_openArgs(DownloadOpenArgs(request.settings)),
        m_port(request.host, request.environment),
        m_queueContext{request.host, request.environment, [this] { return StopRequested(); }} {
    // STOP counts from the first open on: a connect, an echo probe or a FIFO's reader can keep it
    // waiting before there is any progress window.
    m_port.SetCancelCheck([this] { return StopRequested(); });
    m_port.SetOutputChosen([this](const std::string& path) { return ClaimOutputFile(path); });
    // While the port waits for its output to leave, the bar follows what the printer takes.
    m_port.SetOutputWatch([this] { ShowTaken(); });
  }

  DownloadEnd Run() {
    const DownloadResult result = RunSteps();
    const std::string digest = m_request.sentDigest ? m_request.sentDigest(m_sentBytes) : m_sent.HexDigest();
    return Recorded(m_host, m_request.history,
                    {m_request.settings, m_request.environment, m_request.imagePath, result, m_sentBytes, digest},
                    m_savedFiles, m_said);
  }

 private:
  enum class Flow { Next, Cancelled, Failed };

  DownloadResult RunSteps() {
    // Declared first, so the busy cursor goes only after the progress view and the port.
    BusyCursor busy(m_host);
    if (const Outcome claimed = ClaimPort(); !claimed) {
      Say(claimed);
      return StopRequested() ? DownloadResult::Cancelled : DownloadResult::Failed;
    }
    m_image = m_request.image && m_request.image->IsOpen() ? std::move(*m_request.image)
                                                           : FileHandle::OpenRegularForReading(m_request.imagePath);
    if (!m_image.IsOpen()) {
      Say(Outcome::Failure(ImageErrorText("Error opening", m_request.imagePath, m_image.ErrorText())));
      return DownloadResult::Failed;
    }
    m_total = static_cast<std::int64_t>(m_image.LengthAtOpen());
    m_areas = SplitImage(m_total, m_form);

    Flow outcome = Flow::Next;
    m_plan = PlanDownload(m_areas);
    for (m_next = 0; m_next < m_plan.size();) {
      const DownloadStep& step = m_plan[m_next++];
      // A STOP that came while the port was opening ends the run before anything is sent.
      if (StopRequested()) {
        outcome = Abandon();
        break;
      }
      Enter(step);
      outcome = Perform(step);
      if (outcome != Flow::Next) break;
    }
    Enter({DownloadState::Ending, 0, static_cast<int>(m_areas.size()), 0, 0});
    m_port.Close();
    std::string closing;
    if (outcome == Flow::Next) {
      // The transfer is over. The windows keep painting; only a STOP that may end this wait (the
      // window's) takes effect, and then the image is said to be sent instead of stored.
      m_view->SetStatus(std::string(LoadStr(IDS_END_OF_PROCESS)));
      m_finalWait = true;
      const bool stoppable = m_view->StopEndsFinalWait();
      const WaitMode mode = stoppable ? WaitMode::Responsive : WaitMode::PaintOnly;
      const bool waited = Pause(kFinalPauseExceeds, mode) == Flow::Next;
      // The printer has what it needs: another download may start while the message is read.
      ReleasePrinter();
      const int stored = m_form == DownloadForm::Legacy ? IDS_WAIT_AUTORESTART : IDS_FONTS_STORED;
      closing = waited ? std::string(LoadStr(stored)) : std::string(kSentThenStopped);
    }
    // The progress window goes before the result is said, so that its STOP cannot be pressed
    // over the message.
    m_view.reset();
    if (!closing.empty()) Say({Outcome::Code::Ok, closing, {}, MessageStyle::Plain, 0});
    switch (outcome) {
      case Flow::Next: return DownloadResult::Completed;
      case Flow::Cancelled: return DownloadResult::Cancelled;
      case Flow::Failed: break;
    }
    return DownloadResult::Failed;
  }

  void Enter(const DownloadStep& step) {
    m_state = step.state;
    if (m_request.onStep) m_request.onStep(step);
  }

  Flow Perform(const DownloadStep& step) {
    switch (m_state) {
      case DownloadState::Opening: return OpenPort();
      case DownloadState::Announcing: return Announce(Area(step.area));
      case DownloadState::Pausing: return Pause(step.pauseExceeds, WaitMode::Responsive);
      case DownloadState::Sending: return Send(Area(step.area));
      case DownloadState::Ending: break;
    }
    return Flow::Next;
  }

  // The printer of a port kind that names it; a FILE download's files are claimed as they are
  // chosen.
  Outcome ClaimPort() {
    const std::string printer = PrinterOf(m_request.settings, m_request.environment, LookUpIPv4);
    if (printer.empty()) return {};
    Result<PrinterLock> lock = Claim(printer);
    if (!lock) return lock.Failure();
    m_printer.emplace(std::move(*lock));
    return {};
  }

  // An output file the save dialog answered: recorded once, and held until the download ends,
  // however often it is chosen again.
  Outcome ClaimOutputFile(const std::string& path) {
    if (std::find(m_savedFiles.begin(), m_savedFiles.end(), path) == m_savedFiles.end()) m_savedFiles.push_back(path);
    const std::string printer = OutputFilePrinter(path);
    if (m_outputFiles.contains(printer)) return {};
    Result<PrinterLock> lock = Claim(printer);
    if (!lock) return lock.Failure();
    m_outputFiles.emplace(printer, std::move(*lock));
    return {};
  }

  Result<PrinterLock> Claim(const std::string& printer) {
    return ClaimPrinter(m_host, printer, m_request.waitForPrinter, [this] { return StopRequested(); });
  }

  // Tells the user `outcome` (nothing for one that succeeded quietly, was stopped or has nothing
  // more to say) and keeps it as the last thing the download said, for its record.
  void Say(const Outcome& outcome) {
    m_host.Show(outcome);
    if (!outcome.message.empty()) m_said = outcome;
  }

  void ReleasePrinter() {
    m_printer.reset();
    m_outputFiles.clear();
  }

  const ImageArea& Area(int number) const { return m_areas[static_cast<std::size_t>(number - 1)]; }

  bool StopRequested() const { return m_host.StopRequested() || (m_view && m_view->CancelRequested()); }

  // An open that fails says why; the first successful open brings up the progress view, before
  // anything is sent.
  Flow OpenPort() {
    // An open that STOP ended (a connect, a probe, a wait for a FIFO's reader) is a stop, not a
    // failure.
    if (const Outcome opened = m_port.Open(m_openArgs); !opened) {
      Say(opened);
      return StopRequested() ? Flow::Cancelled : Flow::Failed;
    }
    if (m_view) return Flow::Next;
    m_view = m_host.CreateProgressView();
    if (!m_view) {
      m_port.Close();
      Say(Outcome::Failure(kNoProgressWindow));
      return Flow::Failed;
    }
    m_view->SetMessage(std::string(LoadStr(IDS_UPGRADING)));
    m_view->SetRange(0, 100);
    m_view->ClearCancel();
    return Flow::Next;
  }

  Flow Announce(const ImageArea& area) {
    const std::string text = Announcement(area);
    if (const Outcome written = m_port.Write(text.data(), text.size()); !written) return WriteFailed(written);
    return FinishStep();
  }

  // Ends once the elapsed whole seconds exceed `exceeds`; a responsive pause also ends on STOP.
  // It waits a second at a time at most, so that the progress view can count the seconds down.
  Flow Pause(std::int64_t exceeds, WaitMode mode) {
    const std::int64_t start = m_host.Now();
    const bool stoppable = mode == WaitMode::Responsive;
    Flow outcome = Flow::Next;
    for (;;) {
      if (stoppable && StopRequested()) {
        outcome = Flow::Cancelled;
        break;
      }
      const std::int64_t elapsed = m_host.Now() - start;
      if (elapsed / 1000 > exceeds) break;
      const std::int64_t left = (exceeds + 1) * 1000 - elapsed;
      if (m_view) {
        m_view->ShowPause(static_cast<int>((left + 999) / 1000), stoppable);
        ShowTimeLeft(left);
      }
      m_host.WaitFor(std::min<std::int64_t>(left, 1000 - elapsed % 1000), mode);
    }
    if (m_view) m_view->EndPause();
    return outcome;
  }

  Flow Send(const ImageArea& area) {
    const bool serial = KindFromName(m_request.settings.portName) == PortKind::Com;
    const int baud = BaudRateAt(m_openArgs.baudIndex);
    char chunk[SEND_CHUNK];
    m_sending = &area;
    m_areaWritten = 0;
    const std::int64_t start = m_host.Now();
    const std::int64_t sentBefore = m_sendingMs;
    std::int64_t& remaining = m_remaining;
    for (remaining = area.length; remaining > 0;) {
      const auto size = static_cast<std::size_t>(std::min(SEND_CHUNK, remaining));
      if (const Outcome read = m_chunks.Next(chunk, size); !read) {
        Fail();
        Say(Outcome::Failure(ImageErrorText("Error reading", m_request.imagePath, read.message)));
        return Flow::Failed;
      }
      if (const Outcome written = m_port.Write(chunk, size); !written) return WriteFailed(written);
      if (!m_request.sentDigest) m_sent.Update(chunk, size);
      m_sentBytes += static_cast<std::int64_t>(size);
      m_areaWritten += static_cast<std::int64_t>(size);
      remaining -= SEND_CHUNK;
      if (serial) {
        const Outcome waited = WaitForQueue(m_queueContext, [this] { return m_port.QueuedOutput(); }, kQueueThreshold, baud);
        if (waited.Stopped()) return Abandon();
        if (!waited) {
          Fail();
          Say(Outcome::Failure(kOutputStalledText, MessageStyle::Error));
          return Flow::Failed;
        }
      }
      if (StopRequested()) return Abandon();
      m_position = TakenPosition();
      m_view->SetPosition(m_position);
      m_sendingMs = sentBefore + (m_host.Now() - start);
      ShowTimeLeft(0);
    }
    // The area has been sent once the printer has taken all of it (FinishStep waits for that):
    // the pause that follows counts from then, as the printer counts it.
    const Flow outcome = FinishStep();
    m_sending = nullptr;
    return outcome;
  }

  // The bar at what the printer has taken of the area being sent: what was written less what the
  // port still holds. Each chunk counts SEND_CHUNK bytes, so the bar can pass 100 at the end.
  int TakenPosition() {
    const std::int64_t unsent = std::clamp<std::int64_t>(m_port.QueuedOutput(), 0, m_areaWritten);
    return ProgressPosition(m_total, *m_sending, m_remaining + unsent);
  }

  // The whole download's time still to go, with `pauseLeftMs` of the pause under way; the
  // sending counts at the rate seen so far (before any, at the serial line's speed; unknown for
  // the other kinds). The final wait is all that is left once it runs.
  void ShowTimeLeft(std::int64_t pauseLeftMs) {
    if (m_finalWait) {
      m_view->ShowTimeLeft(static_cast<int>((pauseLeftMs + 999) / 1000));
      return;
    }
    double rate = 0;
    if (m_sendingMs > 0 && m_sentBytes > 0) {
      rate = static_cast<double>(m_sentBytes) * 1000 / static_cast<double>(m_sendingMs);
    } else if (KindFromName(m_request.settings.portName) == PortKind::Com) {
      rate = BaudRateAt(m_openArgs.baudIndex) / 10.0;  // a start bit, eight data bits, a stop bit
    }
    m_view->ShowTimeLeft(SecondsLeft(m_plan, m_next, pauseLeftMs, m_total - m_sentBytes, rate));
  }

  // While the port waits for its output to leave, the bar moves as the printer takes it.
  void ShowTaken() {
    if (!m_sending || !m_view) return;
    const int position = TakenPosition();
    if (position != m_position) m_view->SetPosition(position);
    m_position = position;
  }

  Flow FinishStep() {
    // A drain that failed without STOP (a queue that stopped moving, a connection lost): the
    // transfer failed, it was not stopped.
    if (const Outcome finished = m_port.FinishOutput(); !finished) return WriteFailed(finished);
    if (StopRequested()) return Abandon();
    // Closing may still wait for the printer to take what is queued: a connection lost then is a
    // failure, and STOP then has discarded the rest.
    const Outcome delivered = m_port.Close();
    Say(delivered);
    if (StopRequested()) return Flow::Cancelled;
    return delivered ? Flow::Next : Flow::Failed;
  }

  Flow WriteFailed(const Outcome& why) {
    Say(why);
    return StopRequested() ? Abandon() : Fail();
  }

  // STOP: what is still queued is discarded and the port closed.
  Flow Abandon() {
    m_port.Purge();
    m_port.DrainOutput();
    m_port.Close();
    return Flow::Cancelled;
  }

  // A connection that failed has said why; the rest is not sent.
  Flow Fail() {
    m_port.Purge();
    m_port.Close();
    return Flow::Failed;
  }

  const DownloadRequest& m_request;
  std::optional<PrinterLock> m_printer;
  std::map<std::string, PrinterLock> m_outputFiles;
  Host& m_host;
  Outcome m_said;              // the last thing the run told the user
  std::vector<std::string> m_savedFiles;  // each output file a save dialog answered, once
  const DownloadForm m_form;
  const PortOpenArgs m_openArgs;
  CDevicePort m_port;
  PortContext m_queueContext;
  FileHandle m_image;
  ImageChunks m_chunks{m_image};
  std::int64_t m_total = 0;
  std::vector<ImageArea> m_areas;
  std::unique_ptr<ProgressView> m_view;
  DownloadState m_state = DownloadState::Opening;
  Sha256 m_sent;  // of the image bytes the port took, unless the request knows their digest
  std::int64_t m_sentBytes = 0;
  // The area being sent (null outside Send), its bytes written, and what the chunk count leaves.
  const ImageArea* m_sending = nullptr;
  std::int64_t m_areaWritten = 0;
  std::int64_t m_remaining = 0;
  int m_position = -1;  // last position shown
  std::vector<DownloadStep> m_plan;
  std::size_t m_next = 0;        // the step after the one under way
  std::int64_t m_sendingMs = 0;  // time spent sending so far, for the rate
  bool m_finalWait = false;
};

}  // namespace

DownloadEnd DownloadFontSet(const DownloadRequest& request) { return DownloadRun(request, DownloadForm::Current).Run(); }

DownloadEnd DownloadLegacyFontSet(const DownloadRequest& request) {
  return DownloadRun(request, DownloadForm::Legacy).Run();
}

Outcome CheckPortName(const std::string& portName) {
  if (IsKnownPortName(portName)) return {};
  return Outcome::Failure(UnknownPortText(portName));
}

DownloadEnd BuildAndDownload(const DownloadJob& job) {
  // An attempt that ends before the download starts is said and recorded here, with nothing sent.
  const std::string defaultImage =
      job.legacy ? DefaultLegacyFontSetPath(job.programFolder) : DefaultFontSetPath(job.programFolder);
  const auto endEarly = [&](DownloadResult result, const Outcome& said) {
    job.host.Show(said);
    return Recorded(job.host, job.history,
                    {job.settings, job.environment, defaultImage, result, 0, Sha256().HexDigest()}, {}, said);
  };
  if (Outcome known = CheckPortName(job.settings.portName); !known) return endEarly(DownloadResult::Failed, known);
  if (!job.refusal.empty()) return endEarly(DownloadResult::Failed, Outcome::Failure(job.refusal));
  if (job.confirm && !job.confirm()) return {};
  const FontSetBuildContext build{job.profile, job.programFolder, [&job] { return job.host.StopRequested(); }};
  Result<BuiltImage> built = job.legacy ? BuildLegacyFontSet(build, "") : BuildFontSet(build, "");
  if (!built) {
    return endEarly(built.Failure().Stopped() ? DownloadResult::Cancelled : DownloadResult::Failed, built.Failure());
  }
  const DownloadRequest request{job.host,   job.settings,   job.environment, built->path,
                                job.onStep, &built->image, job.history,     job.waitForPrinter};
  return job.legacy ? DownloadLegacyFontSet(request) : DownloadFontSet(request);
}

}  // namespace corvelle
