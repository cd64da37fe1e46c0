// SPDX-License-Identifier: MIT
// COM and LPT on Windows: the device opened overlapped with the busy / not-open messages, the
// serial set-up, writes handed to the driver without waiting for the transmission, and the
// serial output queue.
#include "ports/win/DeviceBackendsWin.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include "base/Host.h"
#include "base/win/WinText.h"
#include "ports/OutputWait.h"
#include "ports/PortEnvironment.h"
#include "resources/Strings.h"

namespace corvelle {
namespace {

constexpr DWORD kPurgeAll = PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR;  // 15
// The most one WriteFile is handed; larger writes go in pieces, each after the one before.
constexpr std::size_t kMaxPiece = 64 * 1024;

std::string SystemReason(DWORD code) { return std::strerror(win::ErrnoFromWin32(code)); }

// One device handle for COM or LPT. A write is copied into a buffer of the backend's own and
// handed to WriteFile with the port's OVERLAPPED; it is not waited for, but the next write, a
// drain and the close wait (in host-timed steps that STOP ends) until the driver has taken it,
// so the buffer and the OVERLAPPED are never reused while the system still holds them.
class DeviceBackend : public PortBackend {
 public:
  DeviceBackend(PortContext& context, PortKind kind) : m_context(context), m_kind(kind) {}
  ~DeviceBackend() override { Release(); }

  Outcome Open(const PortOpenArgs& args) override {
    if (Outcome opened = OpenDevice(args); !opened) return opened;
    ::PurgeComm(m_handle, kPurgeAll);
    if (m_kind == PortKind::Lpt) return {};
    return SetUpLine(args);
  }

  Outcome Write(const std::uint8_t* bytes, std::size_t count) override {
    if (m_handle == INVALID_HANDLE_VALUE) return Outcome::Quiet();
    if (m_failed) return TakeFailure();
    for (std::size_t done = 0; done < count;) {
      if (!WaitForWrite()) return WaitEnded();
      const std::size_t piece = std::min(count - done, kMaxPiece);
      m_buffer.assign(bytes + done, bytes + done + piece);
      m_overlapped = OVERLAPPED{};
      DWORD written = 0;
      if (!::WriteFile(m_handle, m_buffer.data(), static_cast<DWORD>(piece), &written, &m_overlapped)) {
        const DWORD error = ::GetLastError();
        if (error != ERROR_IO_PENDING) {
          KeepFailure(error);
          return TakeFailure();
        }
        m_pending = true;
        m_pendingBytes = static_cast<long>(piece);
      }
      done += piece;
    }
    return {};
  }

  void Purge() override {
    if (m_handle == INVALID_HANDLE_VALUE) return;
    ::PurgeComm(m_handle, kPurgeAll);
    AbandonWrite();
  }

  Outcome DrainOutput() override {
    if (m_kind != PortKind::Com || m_handle == INVALID_HANDLE_VALUE) return {};
    if (!m_stalled && Waited(WaitForQueue(m_context, [this] { return QueuedOutput(); }, 0, m_baud)) && !m_failed) {
      return {};
    }
    return WaitEnded();
  }

  // The driver's output queue (ClearCommError's cbOutQue), and at least the bytes of a write
  // the driver has not finished: some drivers count those, others (a pseudo-terminal under
  // Wine) read 0 while the line holds them.
  long QueuedOutput() override {
    if (m_kind != PortKind::Com || m_handle == INVALID_HANDLE_VALUE) return 0;
    const long unfinished = WriteFinished() ? 0 : m_pendingBytes;
    DWORD errors = 0;
    COMSTAT status{};
    const long queued = ::ClearCommError(m_handle, &errors, &status) ? static_cast<long>(status.cbOutQue) : 0;
    return std::max(queued, unfinished);
  }

  Outcome Close() override {
    if (m_handle == INVALID_HANDLE_VALUE) return {};
    // What the caller did not drain is handed on before the line is given up, unless STOP ends
    // the wait; then it is discarded, so closing never blocks.
    Outcome handedOn;
    if (m_kind == PortKind::Com) {
      handedOn = DrainOutput();
    } else if (!WaitForWrite()) {
      handedOn = WaitEnded();
    }
    if (!handedOn) {
      ::PurgeComm(m_handle, PURGE_TXABORT | PURGE_TXCLEAR);
      AbandonWrite();
    }
    ::FlushFileBuffers(m_handle);
    Release();
    return handedOn.Stopped() ? Outcome{} : handedOn;
  }

 private:
  Outcome OpenDevice(const PortOpenArgs& args) {
    const std::string deviceName = args.portName.substr(0, 3) + std::to_string(args.portNumber);
    m_path = DevicePath(m_context.env, deviceName);
    if (m_path.empty()) return Refuse(IDS_DEVICE_NOT_OPEN, args.portName + " names no device");
    m_handle = ::CreateFileA(m_path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                             FILE_FLAG_OVERLAPPED, nullptr);
    if (m_handle != INVALID_HANDLE_VALUE) return {};
    const DWORD error = ::GetLastError();
    if (error == ERROR_ACCESS_DENIED) return Refuse(IDS_DEVICE_BUSY, m_path + " is in use by another program");
    return Refuse(IDS_DEVICE_NOT_OPEN, m_path + ": " + SystemReason(error));
  }

  // A device that was opened but cannot be set up is released at once, so a second attempt
  // does not find it busy.
  Outcome SetUpLine(const PortOpenArgs& args) {
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    const std::string mode = ComModeText(args.portName);
    if (!::BuildCommDCBA(mode.c_str(), &dcb)) {
      Release();
      return Outcome::Failure("Device opening error (c1).", MessageStyle::Error,
                              "the system does not accept the mode \"" + mode + "\" (name the port COMn:)");
    }
    dcb = DCB{};
    dcb.DCBlength = sizeof dcb;
    if (!::GetCommState(m_handle, &dcb)) {
      const DWORD error = ::GetLastError();
      Release();
      return Outcome::Failure(std::string(LoadStr(IDS_PORT_NOT_AVAILABLE)), MessageStyle::Error,
                              m_path + ": " + SystemReason(error));
    }
    m_baud = BaudRateAt(args.baudIndex);
    SetLineSettings(dcb, args);
    // Set-up failures are ignored: a device that refuses a setting keeps its own and the
    // transfer goes on.
    COMMTIMEOUTS timeouts = LineTimeouts();
    ::SetCommTimeouts(m_handle, &timeouts);
    ::SetCommState(m_handle, &dcb);
    ::SetCommMask(m_handle, args.eventMask);
    return {};
  }

  static Outcome Refuse(int message, const std::string& detail) {
    return Outcome::Failure(std::string(LoadStr(message)), MessageStyle::Error, detail);
  }

  // A failure found anywhere (a write, a reading of the queue, a wait) is kept, and returned by
  // the next operation that can fail; the later ones of this open fail quietly.
  Outcome TakeFailure() {
    if (m_failureTaken) return Outcome::Quiet();
    m_failureTaken = true;
    return m_failure;
  }

  // How a wait for the output that did not end well ends: with the failure it found, or stopped.
  Outcome WaitEnded() { return m_failed || m_stalled ? TakeFailure() : Outcome::Stop(); }

  // True when no write is outstanding; a write that ended in an error is kept here.
  bool WriteFinished() {
    if (!m_pending) return true;
    DWORD written = 0;
    if (::GetOverlappedResult(m_handle, &m_overlapped, &written, FALSE)) {
      m_pending = false;
      return true;
    }
    const DWORD error = ::GetLastError();
    if (error == ERROR_IO_INCOMPLETE) return false;
    m_pending = false;
    if (error != ERROR_OPERATION_ABORTED) KeepFailure(error);
    return true;
  }

  // Until the outstanding write is finished; false when STOP ended the wait, the write failed or
  // the line stopped taking it.
  bool WaitForWrite() {
    if (m_stalled) return false;
    if (m_pending && !Waited(WaitForQueue(m_context, [this] { return WriteFinished() ? 0L : m_pendingBytes; }, 0, m_baud))) {
      return false;
    }
    return !m_failed;
  }

  // True when the output left. A queue that stopped moving is kept as the failure; later waits of
  // this open give up at once, so the close discards the rest instead of waiting again.
  bool Waited(const Outcome& outcome) {
    if (outcome.Failed() && !m_stalled) {
      m_stalled = true;
      const std::string detail = m_path + ": " + std::to_string(QueuedOutput()) + " bytes were still queued";
      if (m_failure.Ok()) m_failure = Outcome::Failure(kOutputStalledText, MessageStyle::Error, detail);
    }
    return outcome.Ok();
  }

  // Cancels the outstanding write and waits for the system to give its buffer back.
  void AbandonWrite() {
    if (!m_pending) return;
    ::CancelIoEx(m_handle, &m_overlapped);
    DWORD written = 0;
    ::GetOverlappedResult(m_handle, &m_overlapped, &written, TRUE);
    m_pending = false;
  }

  void KeepFailure(DWORD error) {
    if (m_failed) return;
    m_failed = true;
    if (m_failure.Ok()) {
      m_failure = Outcome::Failure("Error writing to the device " + m_path + ":\n" + SystemReason(error), MessageStyle::Error);
    }
  }

  void Release() {
    if (m_handle == INVALID_HANDLE_VALUE) return;
    AbandonWrite();
    ::CloseHandle(m_handle);
    m_handle = INVALID_HANDLE_VALUE;
  }

  PortContext& m_context;
  const PortKind m_kind;
  std::string m_path;
  HANDLE m_handle = INVALID_HANDLE_VALUE;
  OVERLAPPED m_overlapped{};
  std::vector<std::uint8_t> m_buffer;
  bool m_pending = false;
  long m_pendingBytes = 0;
  bool m_failed = false;
  bool m_stalled = false;
  Outcome m_failure;  // the first failure of this open
  bool m_failureTaken = false;
  int m_baud = 9600;
};

}  // namespace

std::unique_ptr<PortBackend> MakeSerialBackend(PortContext& context) {
  return std::make_unique<DeviceBackend>(context, PortKind::Com);
}

std::unique_ptr<PortBackend> MakeParallelBackend(PortContext& context) {
  return std::make_unique<DeviceBackend>(context, PortKind::Lpt);
}

}  // namespace corvelle
