// Worker processes on Linux: each a fork of this program, the library already
// loaded, talking over two pipes put on its standard input and output.
#include "../WorkerPool.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "../Signals.h"
#include "../Worker.h"

namespace host {

namespace {

struct Slot {
    pid_t pid = -1;
    int request = -1, reply = -1;  // this side's ends
    bool busy = false;
    std::string received;
};

void CloseFd(int& fd) {
    if (fd >= 0) close(fd);
    fd = -1;
}

// How a worker's process ended, for the picture it had.
std::string Why(int status) {
    char text[96];
    if (WIFSIGNALED(status))
        std::snprintf(text, sizeof text, "worker process killed by signal %d (%s)", WTERMSIG(status),
                      strsignal(WTERMSIG(status)));
    else if (WIFEXITED(status) && WEXITSTATUS(status) == ExitSoftware)
        std::snprintf(text, sizeof text, "worker process ran out of memory");
    else
        std::snprintf(text, sizeof text, "worker process ended unexpectedly");
    return text;
}

}  // namespace

bool ReadRequestBytes(void* to, size_t size) {
    auto* at = static_cast<char*>(to);
    while (size > 0) {
        const ssize_t got = read(STDIN_FILENO, at, size);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return false;
        at += got;
        size -= static_cast<size_t>(got);
    }
    return true;
}

struct WorkerPool::State {
    BMPRotate2Fn rotate;
    // The stops wait blocked, and are let in only while ppoll waits (with
    // the mask the program had): one that comes between the run's look at
    // StopSignal() and the wait is then answered at once, never only when a
    // worker next answers.
    sigset_t before;
    std::vector<Slot> slots;
    std::vector<pollfd> polled;
    std::vector<size_t> polledSlot;

    // Closes this side's ends and collects the process.
    std::string Stop(Slot& slot) {
        CloseFd(slot.request);
        CloseFd(slot.reply);
        int status = 0;
        while (slot.pid > 0 && waitpid(slot.pid, &status, 0) < 0 && errno == EINTR) {
        }
        slot.pid = -1;
        slot.busy = false;
        slot.received.clear();
        return Why(status);
    }

    [[noreturn]] void BecomeWorker(size_t self, int in, int out) {
        // Another worker's ends held here would keep it from ever seeing its end of work.
        for (size_t i = 0; i < slots.size(); ++i)
            if (i != self) {
                CloseFd(slots[i].request);
                CloseFd(slots[i].reply);
            }
        signal(SIGPIPE, SIG_DFL);
        IgnoreStops();
        sigprocmask(SIG_SETMASK, &before, nullptr);
        int status = ExitSoftware;
        if (dup2(in, STDIN_FILENO) >= 0 && dup2(out, STDOUT_FILENO) >= 0) {
            if (in != STDIN_FILENO) close(in);
            if (out != STDOUT_FILENO) close(out);
            try {
                status = ServeRequests(rotate);
            } catch (...) {
                status = ExitSoftware;
            }
        }
        std::fflush(stdout);
        _exit(status);
    }
};

WorkerPool::WorkerPool(size_t slots, BMPRotate2Fn rotate) : state_(new State) {
    state_->rotate = rotate;
    state_->slots.resize(slots);
    state_->polled.reserve(slots);
    state_->polledSlot.reserve(slots);
    // A worker gone mid-request is an answer to read, not a reason to die.
    signal(SIGPIPE, SIG_IGN);
    sigset_t stops;
    sigemptyset(&stops);
    AddStops(stops);
    sigprocmask(SIG_BLOCK, &stops, &state_->before);
}

WorkerPool::~WorkerPool() {
    for (Slot& slot : state_->slots) CloseFd(slot.request);
    for (Slot& slot : state_->slots) state_->Stop(slot);
    // A stop still waiting is noted now, for the run to end by it.
    sigprocmask(SIG_SETMASK, &state_->before, nullptr);
}

bool WorkerPool::Start(size_t index) {
    Slot& slot = state_->slots[index];
    if (slot.pid > 0) state_->Stop(slot);
    int toWorker[2], fromWorker[2];
    if (pipe(toWorker) != 0) return false;
    if (pipe(fromWorker) != 0) {
        close(toWorker[0]);
        close(toWorker[1]);
        return false;
    }
    std::fflush(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        close(toWorker[1]);
        close(fromWorker[0]);
        state_->BecomeWorker(index, toWorker[0], fromWorker[1]);
    }
    close(toWorker[0]);
    close(fromWorker[1]);
    if (pid < 0) {
        close(toWorker[1]);
        close(fromWorker[0]);
        return false;
    }
    fcntl(toWorker[1], F_SETFD, FD_CLOEXEC);
    fcntl(fromWorker[0], F_SETFD, FD_CLOEXEC);
    slot.pid = pid;
    slot.request = toWorker[1];
    slot.reply = fromWorker[0];
    return true;
}

bool WorkerPool::Send(size_t index, const std::string& request) {
    Slot& slot = state_->slots[index];
    for (size_t sent = 0; slot.pid > 0 && sent < request.size();) {
        const ssize_t put = write(slot.request, request.data() + sent, request.size() - sent);
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) break;
        sent += static_cast<size_t>(put);
        if (sent == request.size()) return slot.busy = true;
    }
    state_->Stop(slot);
    return false;
}

bool WorkerPool::Wait(WorkerEvent& event) {
    State& s = *state_;
    for (;;) {
        s.polled.clear();
        s.polledSlot.clear();
        bool anyBusy = false;
        for (size_t i = 0; i < s.slots.size(); ++i) {
            if (s.slots[i].pid <= 0) continue;
            anyBusy = anyBusy || s.slots[i].busy;
            s.polled.push_back(pollfd{s.slots[i].reply, POLLIN, 0});
            s.polledSlot.push_back(i);
        }
        if (!anyBusy) return false;
        const int ready = ppoll(s.polled.data(), s.polled.size(), nullptr, &s.before);
        // A stop pending when a worker answered stays blocked through ppoll's
        // return: let in for a moment, it is noted before the answer is.
        sigset_t waiting;
        sigprocmask(SIG_SETMASK, &s.before, &waiting);
        sigprocmask(SIG_SETMASK, &waiting, nullptr);
        if (ready < 0) {
            if (errno != EINTR) return false;
            if (StopSignal() != 0) {
                event = WorkerEvent();
                event.stopped = true;
                return true;
            }
            continue;
        }
        for (size_t k = 0; k < s.polled.size(); ++k) {
            if (s.polled[k].revents == 0) continue;
            Slot& slot = s.slots[s.polledSlot[k]];
            event = WorkerEvent();
            event.slot = s.polledSlot[k];
            char block[4096];
            const ssize_t got = read(slot.reply, block, sizeof block);
            if (got < 0 && errno == EINTR) continue;
            if (got > 0) {
                slot.received.append(block, static_cast<size_t>(got));
                if (!TakeReply(slot.received, event.reply)) continue;
                slot.busy = false;
                return true;
            }
            event.ended = true;
            event.why = s.Stop(slot);
            return true;
        }
    }
}

}  // namespace host
