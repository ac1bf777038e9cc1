// The conversation between the batch form and its worker processes, over a
// worker's standard input and output.
//
// Request: the angle (int32), 1 to keep an output that exists or 0 (uint32),
// the lengths of the input and output names in the system's units (two
// uint32: bytes on Linux, UTF-16 units on Windows), both names; native byte
// order, for a worker is this same program. Reply: the library's console
// lines for the picture as it printed them, then a NUL, the result in
// decimal, a space, how the picture ended (a letter, Ending) and a line
// feed. The lines never hold a NUL, and a text-mode stream may turn the
// line feed into CR LF.
#pragma once

#include <cstdint>
#include <string>

#include "Host.h"

namespace host {

// The argument that makes this program a worker (Windows; Linux forks).
constexpr char kWorkerSwitch[] = "--worker-process";

// Names longer than this are not asked of a worker: nobody's file system has them.
constexpr uint32_t kMaxNameUnits = 1u << 16;

std::string EncodeRequest(int32_t angle, bool noClobber, const Text& input, const Text& output);

enum class Ending : char {
    AsResult = 'r',   // written, or failed as the result says
    Kept = 'k',       // an output that appeared meanwhile was kept
    NotPlaced = 'p',  // written, but not put under its own name
    NoScratch = 's',  // what its names needed could not be made
};
struct Reply {
    int32_t result = 0;
    Ending ending = Ending::AsResult;
    std::string lastLine;
};

// A whole reply at the start of `buffer` is removed from it into `reply`;
// false while it is incomplete.
bool TakeReply(std::string& buffer, Reply& reply);

// The worker's loop: one picture per request until standard input ends.
int ServeRequests(BMPRotate2Fn rotate);
// Loads the library and serves (the Windows worker's whole life).
int RunWorkerProcess();

// Exactly `size` bytes of the worker's standard input; false at its end
// (linux/WorkerPool.cpp, windows/WorkerPool.cpp).
bool ReadRequestBytes(void* to, size_t size);

}  // namespace host
