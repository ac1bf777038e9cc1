// Ctrl-C and other requests to stop: asked for once, answered when the
// pictures begun are done and what was made for them is gone
// (linux/Signals.cpp, windows/Signals.cpp).
#pragma once

#if !defined(_WIN32)
#include <signal.h>
#endif

namespace host {

// From here on SIGINT, SIGTERM and SIGHUP (and SIGPIPE, with `brokenPipe`)
// are noted, not obeyed; a stop the shell had ignored stays ignored. A
// blocking read or write they interrupt fails (EINTR) for it to be seen.
void WatchStops(bool brokenPipe);
// The signal that asked to stop, or 0.
int StopSignal();
// Ends this process by that signal, as if it had never been caught.
[[noreturn]] void EndBySignal(int signal);
// A worker finishes its picture whatever stops reach its process group.
void IgnoreStops();

#if !defined(_WIN32)
// The signals that are stops, added to `set` (for waiting with them blocked).
void AddStops(sigset_t& set);
#endif

}  // namespace host
