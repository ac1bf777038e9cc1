// Stops on Linux: a handler that only notes the signal, without SA_RESTART,
// so that the batch's wait for its workers returns to look at it.
#include "../Signals.h"

#include <signal.h>
#include <unistd.h>

#include <csignal>

namespace host {

namespace {

const int kStops[] = {SIGINT, SIGTERM, SIGHUP};

volatile std::sig_atomic_t stopSignal = 0;

// The first stop asked for is the one answered.
void Note(int signal) {
    if (stopSignal == 0) stopSignal = signal;
}

// Noted, unless the shell had it ignored.
void Watch(int signal) {
    struct sigaction was;
    if (sigaction(signal, nullptr, &was) == 0 && was.sa_handler == SIG_IGN) return;
    struct sigaction noted = {};
    noted.sa_handler = Note;
    sigemptyset(&noted.sa_mask);
    sigaction(signal, &noted, nullptr);
}

}  // namespace

void WatchStops(bool brokenPipe) {
    for (const int signal : kStops) Watch(signal);
    if (brokenPipe) Watch(SIGPIPE);
}

int StopSignal() { return stopSignal; }

void EndBySignal(int signal) {
    std::signal(signal, SIG_DFL);
    raise(signal);
    _exit(128 + signal);  // only if it was blocked
}

void IgnoreStops() {
    for (const int signal : kStops) std::signal(signal, SIG_IGN);
}

void AddStops(sigset_t& set) {
    for (const int signal : kStops) sigaddset(&set, signal);
}

}  // namespace host
