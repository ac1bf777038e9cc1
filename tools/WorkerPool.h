// The batch form's side of its worker processes: start them, hand each one
// picture at a time, wait for whichever answers or ends first
// (linux/WorkerPool.cpp, windows/WorkerPool.cpp).
#pragma once

#include <cstddef>
#include <memory>
#include <string>

#include "Host.h"
#include "Worker.h"

namespace host {

struct WorkerEvent {
    size_t slot = 0;
    bool ended = false;    // the worker is gone; `why` says how
    bool stopped = false;  // no worker answered: a stop was asked for
    Reply reply;      // the worker's answer, unless it ended
    std::string why;
};

class WorkerPool {
public:
    // Up to `slots` workers; `rotate` is the library already loaded here.
    WorkerPool(size_t slots, BMPRotate2Fn rotate);
    ~WorkerPool();  // ends the conversations and waits for every worker
    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;

    // False when the system would not start it.
    bool Start(size_t slot);
    // False when the worker is gone; it is then stopped.
    bool Send(size_t slot, const std::string& request);
    // Blocks until a worker that has a picture answers, a worker ends, or
    // a stop is asked for; false when no worker has a picture.
    bool Wait(WorkerEvent& event);

private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace host
