// Ctrl-C and other requests to stop a batch: asked for once, answered when
// the pictures begun are done (posix/Stops.cpp, windows/Stops.cpp).
#pragma once

namespace host {

// From here on SIGINT and SIGTERM are noted, not obeyed; a stop the shell
// had ignored stays ignored.
void WatchStops();
// The signal that asked to stop, or 0.
int StopSignal();
// Ends this process by that signal, as if it had never been caught.
[[noreturn]] void EndBySignal(int signal);
// A worker finishes its picture whatever stops reach its process group.
void IgnoreStops();

}  // namespace host
