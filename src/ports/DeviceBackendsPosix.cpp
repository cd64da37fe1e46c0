// SPDX-License-Identifier: MIT
// COM and LPT: open with the busy / not-open messages, writes finished as the device takes
// them, the serial line discipline, and the serial output queue.
#include "ports/DeviceBackends.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "base/Host.h"
#include "ports/ExclusiveLines.h"
#include "ports/FdBackend.h"
#include "ports/OutputWait.h"
#include "ports/PortEnvironment.h"
#include "resources/Strings.h"

namespace corvelle {
namespace {

constexpr cc_t kXon = 17;
constexpr cc_t kXoff = 19;

speed_t SpeedCode(int baud) {
  switch (baud) {
    case 1200: return B1200;
    case 2400: return B2400;
    case 4800: return B4800;
    case 19200: return B19200;
    case 38400: return B38400;
    case 57600: return B57600;
    default: return B9600;
  }
}

// What COM and LPT share: the opening of the device named by the port name, and purging.
class DeviceBackend : public FdBackend {
 public:
  explicit DeviceBackend(PortContext& context)
      : FdBackend(context, "Error writing to the device ", MessageStyle::Error) {}

  void Purge() override {
    if (m_fd >= 0) ::tcflush(m_fd, TCIOFLUSH);
  }

 protected:
  // Opens the device of `args` ("COM3:" with number 3 is device COM3, a path is that device);
  // fails saying why. `group` is the system group that may use such devices.
  Outcome OpenDevice(const PortOpenArgs& args, int flags, const char* group) {
    if (IsDevicePathName(args.portName)) {
      m_path = args.portName;
    } else {
      const std::string deviceName = args.portName.substr(0, 3) + std::to_string(args.portNumber);
      m_path = DevicePath(m_context.env, deviceName);
    }
    if (m_path.empty()) return Refuse(IDS_DEVICE_NOT_OPEN, args.portName + " names no device");
    m_fd = ::open(m_path.c_str(), flags | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (m_fd < 0) {
      const int error = errno;
      if (error == EACCES) {
        return Refuse(IDS_DEVICE_BUSY, "permission denied on " + m_path + ": add yourself to the " + group + " group");
      }
      if (error == EBUSY) return Refuse(IDS_DEVICE_BUSY, m_path + " is in use by another program");
      return Refuse(IDS_DEVICE_NOT_OPEN, m_path + ": " + std::strerror(error));
    }
    // A port named by a path must be a device: a file or folder would take the bytes and the line
    // settings would go nowhere. (The "Devices" mapping is the user's own choice and is kept.)
    struct stat st {};
    if (IsDevicePathName(args.portName) && (::fstat(m_fd, &st) != 0 || !S_ISCHR(st.st_mode))) {
      FdBackend::Release();
      return Refuse(IDS_DEVICE_NOT_OPEN, m_path + ": not a character device");
    }
    return {};
  }

  static Outcome Refuse(int message, const std::string& detail) {
    return Outcome::Failure(std::string(LoadStr(message)), MessageStyle::Error, detail);
  }
};

class SerialBackend : public DeviceBackend {
 public:
  using DeviceBackend::DeviceBackend;
  ~SerialBackend() override { Release(); }

  Outcome Open(const PortOpenArgs& args) override {
    if (Outcome opened = OpenDevice(args, O_RDWR, "dialout"); !opened) return opened;
    // No other process may open the line while a transfer uses it.
    ::ioctl(m_fd, TIOCEXCL);
    m_exclusive = true;
    NoteExclusiveLine(m_fd);
    Purge();
    // A device that was opened but cannot be set up is released at once, so a second attempt
    // does not find it busy.
    if (!IsDevicePathName(args.portName) && !IsValidComName(args.portName)) {
      Release();
      return Outcome::Failure("Device opening error (c1).", MessageStyle::Error);
    }
    termios t{};
    if (::tcgetattr(m_fd, &t) != 0) {
      Release();
      return Outcome::Failure(std::string(LoadStr(IDS_PORT_NOT_AVAILABLE)), MessageStyle::Error);
    }
    m_baud = BaudRateAt(args.baudIndex);
    SetLineDiscipline(t, args);
    // Line-setting failures are ignored, as on every port the program has driven: a device that
    // refuses a setting keeps its own and the transfer goes on.
    ::tcsetattr(m_fd, TCSANOW, &t);
    // Without CTS control the kernel does not drive RTS, so it is raised for the printer to send;
    // DTR stays low.
    int rts = TIOCM_RTS;
    if (!(args.ctsFlow & 1)) ::ioctl(m_fd, TIOCMBIS, &rts);
    int dtr = TIOCM_DTR;
    ::ioctl(m_fd, TIOCMBIC, &dtr);
    return {};
  }

  Outcome DrainOutput() override {
    if (m_fd < 0) return {};
    if (m_stalled) return Outcome::Quiet();
    const Outcome waited = WaitForQueue(m_context, [this] { return QueuedOutput(); }, 0, m_baud);
    if (!waited.Failed()) return waited;
    // Said once: the close that follows discards the rest instead of waiting again.
    m_stalled = true;
    return Outcome::Failure(kOutputStalledText, MessageStyle::Error,
                            m_path + ": " + std::to_string(QueuedOutput()) + " bytes were still queued");
  }

  long QueuedOutput() override {
    int queued = 0;
    if (m_fd < 0 || ::ioctl(m_fd, TIOCOUTQ, &queued) != 0) return 0;
    return queued;
  }

  Outcome Close() override {
    // What the caller did not drain is sent before the line is given up, unless STOP ends the
    // wait; then it is discarded, so closing never blocks.
    Outcome drained;
    if (m_fd >= 0) drained = DrainOutput();
    if (!drained) ::tcflush(m_fd, TCOFLUSH);
    Release();
    return drained.Stopped() ? Outcome{} : drained;
  }

 private:
  void Release() override {
    // The exclusive flag outlives the descriptor on some devices (pseudo-terminals).
    if (m_fd >= 0 && m_exclusive) {
      ForgetExclusiveLine(m_fd);
      ::ioctl(m_fd, TIOCNXCL);
    }
    m_exclusive = false;
    FdBackend::Release();
  }

  bool m_exclusive = false;
  bool m_stalled = false;
  int m_baud = 9600;
};

class ParallelBackend : public DeviceBackend {
 public:
  using DeviceBackend::DeviceBackend;

  Outcome Open(const PortOpenArgs& args) override {
    Outcome opened = OpenDevice(args, O_WRONLY, "lp");
    if (opened) Purge();
    return opened;
  }
};

}  // namespace

bool IsValidComName(std::string_view portName) {
  if (!portName.starts_with("COM")) return false;
  std::string_view rest = portName.substr(3);
  std::size_t digits = 0;
  bool nonZero = false;
  while (digits < rest.size() && rest[digits] >= '0' && rest[digits] <= '9') {
    nonZero = nonZero || rest[digits] != '0';
    ++digits;
  }
  if (digits == 0 || !nonZero) return false;
  rest.remove_prefix(digits);
  return rest.empty() || rest == ":";
}

void SetLineDiscipline(termios& t, const PortOpenArgs& args) {
  t.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXANY | IXON |
                                      IXOFF | INPCK);
  t.c_iflag |= IXOFF;
  if (args.xonXoff & 1) t.c_iflag |= IXON;
  t.c_oflag &= ~static_cast<tcflag_t>(OPOST);
  t.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
  t.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS | CMSPAR);
  t.c_cflag |= CREAD | CLOCAL | (DataBitsAt(args.dataBitsIndex) == 7 ? CS7 : CS8);
  switch (ParityAt(args.parityIndex)) {
    case Parity::None: break;
    case Parity::Even: t.c_cflag |= PARENB; t.c_iflag |= INPCK; break;
    case Parity::Odd: t.c_cflag |= PARENB | PARODD; t.c_iflag |= INPCK; break;
  }
  if (StopBitsAt(args.stopBitsIndex) == 2) t.c_cflag |= CSTOPB;
  if (args.ctsFlow & 1) t.c_cflag |= CRTSCTS;
  t.c_cc[VSTART] = kXon;
  t.c_cc[VSTOP] = kXoff;
  t.c_cc[VMIN] = 0;
  t.c_cc[VTIME] = 0;
  const speed_t speed = SpeedCode(BaudRateAt(args.baudIndex));
  ::cfsetispeed(&t, speed);
  ::cfsetospeed(&t, speed);
}

std::unique_ptr<PortBackend> MakeSerialBackend(PortContext& context) { return std::make_unique<SerialBackend>(context); }

std::unique_ptr<PortBackend> MakeParallelBackend(PortContext& context) {
  return std::make_unique<ParallelBackend>(context);
}

}  // namespace corvelle
