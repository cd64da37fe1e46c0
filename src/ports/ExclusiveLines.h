// SPDX-License-Identifier: MIT
// The serial lines this process holds in exclusive mode, so that a process ended at once by a
// second signal still gives them up: on pseudo-terminals the mode outlives the descriptor.
#pragma once

namespace corvelle {

// Records `fd` as held in exclusive mode (up to a small fixed number of lines at once).
void NoteExclusiveLine(int fd);
// Forgets `fd`; call before taking the mode off and closing it.
void ForgetExclusiveLine(int fd);
// Takes exclusive mode off every recorded line. Safe in a signal handler.
void ReleaseExclusiveLinesNow();

}  // namespace corvelle
