// Stops on Windows are not caught: Ctrl-C ends the run at once, as the
// manual says.
#include "../Signals.h"

#include <cstdlib>

namespace host {

void WatchStops(bool) {}
int StopSignal() { return 0; }
void EndBySignal(int signal) { std::_Exit(128 + signal); }
void IgnoreStops() {}

}  // namespace host
