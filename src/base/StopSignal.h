// SPDX-License-Identifier: MIT
// The one STOP of a run: raised by a button, Ctrl-C or a termination signal, and seen by every
// wait at once because each wait polls its descriptor beside the one it waits for.
#pragma once

#include <atomic>

#include "base/NativeHandle.h"

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
  // What a wait watches beside its own: a descriptor readable (on Windows a manual-reset event
  // set) from the first Raise on until Clear; kNoHandle if it could not be made.
  NativeHandle Handle() const { return m_handle; }
  // Lowers the signal again, for the next run.
  void Clear();

 private:
  std::atomic<bool> m_raised{false};
  NativeHandle m_handle = kNoHandle;
};

}  // namespace corvelle
