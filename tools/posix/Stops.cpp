// Stops on POSIX: a handler that only notes the signal, without SA_RESTART,
// so that the batch's wait for its workers returns to look at it.
#include "../Stops.h"

#include <signal.h>
#include <unistd.h>

#include <csignal>
#include <initializer_list>

namespace host {

namespace {

volatile std::sig_atomic_t stopSignal = 0;

// The first stop asked for is the one answered.
void Note(int signal) {
    if (stopSignal == 0) stopSignal = signal;
}

}  // namespace

void WatchStops(bool brokenPipe) {
    for (const int signal : {SIGINT, SIGTERM, SIGHUP, brokenPipe ? SIGPIPE : 0}) {
        struct sigaction was;
        if (signal == 0) continue;
        if (sigaction(signal, nullptr, &was) == 0 && was.sa_handler == SIG_IGN) continue;
        struct sigaction noted = {};
        noted.sa_handler = Note;
        sigemptyset(&noted.sa_mask);
        sigaction(signal, &noted, nullptr);
    }
}

int StopSignal() { return stopSignal; }

void EndBySignal(int signal) {
    std::signal(signal, SIG_DFL);
    raise(signal);
    _exit(128 + signal);  // only if it was blocked
}

void IgnoreStops() {
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) std::signal(signal, SIG_IGN);
}

}  // namespace host
