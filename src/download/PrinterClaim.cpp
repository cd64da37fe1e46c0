// SPDX-License-Identifier: MIT
// Naming and holding the printer of a download.
#include "download/PrinterClaim.h"

#include "base/Host.h"
#include "base/Ipv4Text.h"
#include "download/DownloadRecord.h"
#include "ports/PortTypes.h"
#include "ports/UsbBackend.h"

namespace corvelle {
namespace {

// Short enough that the run starts soon after the holder ends; a wait costs one look at the
// lock file each time.
constexpr std::int64_t kClaimSliceMs = 250;

std::string Busy(const std::string& printer, const PrinterLock& lock) {
  return printer + " is busy: " + lock.Holder() + " is downloading to it.";
}

}  // namespace

std::string PrinterOf(const PortSettings& settings, const PortEnvironment& environment, const NameLookUp& lookUp) {
  switch (KindFromName(settings.portName)) {
    case PortKind::TcpIp: {
      const std::string& address = settings.ipAddress;
      const std::optional<std::uint32_t> named = lookUp && !ParseIPv4(address) ? lookUp(address) : std::nullopt;
      return (named ? DottedDecimal(*named) : AddressKey(address)) + ":" +
             std::to_string(static_cast<std::uint16_t>(settings.ipPort));
    }
    case PortKind::Com:
    case PortKind::Lpt: return CanonicalPath(DownloadTarget(settings, environment, {}));
    case PortKind::Usb: return std::string("USB ") + UsbBackend::kDescription;
    case PortKind::File:
    case PortKind::None: break;
  }
  return "";
}

std::string OutputFilePrinter(const std::string& path) { return CanonicalPath(path); }

Result<PrinterLock> ClaimPrinter(Host& host, const std::string& printer, bool wait,
                                        const std::function<bool()>& stopRequested) {
  PrinterLock lock(printer);
  for (bool told = false; wait && lock.GetState() == PrinterLock::State::Busy;) {
    if (!told) host.ShowMessage(Busy(printer, lock) + " Waiting for it to finish...", MessageStyle::Plain);
    told = true;
    if (stopRequested()) return Outcome::Stop();
    host.WaitFor(kClaimSliceMs, WaitMode::Responsive);
    if (stopRequested()) return Outcome::Stop();
    lock = PrinterLock(printer);
  }
  switch (lock.GetState()) {
    case PrinterLock::State::Held: return lock;
    case PrinterLock::State::Busy: return Outcome::Failure(Busy(printer, lock) + " Nothing was sent.");
    case PrinterLock::State::Unusable: break;
  }
  return Outcome::Failure(printer + " cannot be reserved for this download: " + lock.Problem() + ". Nothing was sent.");
}

}  // namespace corvelle
