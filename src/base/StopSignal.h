// SPDX-License-Identifier: MIT
// The one STOP of a run: raised by a button, Ctrl-C or a termination signal, and seen by every
// wait at once because each wait polls its descriptor beside the one it waits for.
#pragma once

#include <atomic>

namespace corvelle {

class StopSignal {
 public:
  StopSignal();
  ~StopSignal();
  StopSignal(const StopSignal&) = delete;
  StopSignal& operator=(const StopSignal&) = delete;

  // Safe in a signal handler: one atomic store and one write.
  void Raise();
  bool Raised() const { return m_raised.load(std::memory_order_acquire); }
#ifdef _WIN32
  // A manual-reset event HANDLE, set from the first Raise on until Clear; null if it could not
  // be made.
  void* Event() const { return m_event; }
#else
  // Readable from the first Raise on, and stays readable until Clear; -1 if it could not be made.
  int Fd() const { return m_fd; }
#endif
  // Lowers the signal again, for the next run.
  void Clear();

 private:
  std::atomic<bool> m_raised{false};
#ifdef _WIN32
  void* m_event = nullptr;
#else
  int m_fd = -1;
#endif
};

}  // namespace corvelle
