// The progress line of the batch form: redrawn in place on a terminal,
// nothing at all elsewhere.
#pragma once

#include <chrono>
#include <cstddef>

namespace host {

class Progress {
public:
    Progress(size_t total, bool drawn);
    // Redraws at most a few times a second, unless `now` is set.
    void Show(size_t done, bool now = false);
    // Leaves the line empty for another line to be written.
    void Clear();

private:
    using Clock = std::chrono::steady_clock;
    size_t total_;
    bool drawn_;
    size_t width_ = 0;
    Clock::time_point start_, last_;
};

}  // namespace host
