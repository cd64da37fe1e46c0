// SPDX-License-Identifier: MIT
// One download per printer at a time, across processes: an advisory lock (flock; LockFileEx on
// Windows) on a file named after the printer in a per-user folder. The system drops the lock when
// its holder ends, however it ends, so a killed run never leaves a printer locked. The holder
// writes its program and process id into the file, so that a run finding it held can say who.
#pragma once

#include <string>

namespace corvelle {

class PrinterLock {
 public:
  enum class State {
    Held,      // this object holds the printer until it goes
    Busy,      // another holder has it; Holder() says who
    Unusable,  // no lock could be made; Problem() says why
  };

  // Tries once, without waiting, to hold the lock of `printer` (the one text that names it:
  // "tcp 127.0.0.1:4001", "device /dev/ttyS0", ...).
  explicit PrinterLock(const std::string& printer);
  ~PrinterLock();
  PrinterLock(PrinterLock&& other) noexcept;
  PrinterLock& operator=(PrinterLock&& other) noexcept;
  PrinterLock(const PrinterLock&) = delete;
  PrinterLock& operator=(const PrinterLock&) = delete;

  State GetState() const { return m_state; }
  // "corvelle-cli (process 4242)", or "another program" when the holder has not said.
  const std::string& Holder() const { return m_text; }
  const std::string& Problem() const { return m_text; }

 private:
  void Release();

#ifdef _WIN32
  using Handle = void*;
  static constexpr Handle kNoHandle = nullptr;
#else
  using Handle = int;
  static constexpr Handle kNoHandle = -1;
#endif
  State m_state = State::Unusable;
  std::string m_text;
  Handle m_handle = kNoHandle;
};

// The lock file's name for `printer` in the lock folder: its readable characters (others as '_'),
// cut to 64, then a digest of the whole text, so that two printers never share a file.
std::string PrinterLockFileName(const std::string& printer);

// What a holder writes into its lock file, and how a reader says it: "corvelle-cli 4242\n" is
// "corvelle-cli (process 4242)"; a text that is not a program and a process id is
// "another program".
std::string HolderRecord(const std::string& program, long long processId);
std::string HolderText(const std::string& record);

// `path` made absolute, with links and "." and ".." resolved as far as the path exists, so that
// two spellings of one device or file give one text.
std::string CanonicalPath(const std::string& path);

}  // namespace corvelle
