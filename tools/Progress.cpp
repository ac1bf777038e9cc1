#include "Progress.h"

#include <cstdio>

namespace host {

namespace {

constexpr auto kRedraw = std::chrono::milliseconds(100);

}  // namespace

Progress::Progress(size_t total, bool drawn) : total_(total), drawn_(drawn), start_(Clock::now()), last_(start_) {}

void Progress::Show(size_t done, bool now) {
    if (!drawn_) return;
    const Clock::time_point at = Clock::now();
    if (!now && at - last_ < kRedraw) return;
    last_ = at;
    const double seconds = std::chrono::duration<double>(at - start_).count();
    char line[128];
    int size;
    if (done == 0 || seconds <= 0) {
        size = std::snprintf(line, sizeof line, "%zu/%zu pictures", done, total_);
    } else {
        const double rate = static_cast<double>(done) / seconds;
        const auto left = static_cast<unsigned long>(static_cast<double>(total_ - done) / rate + 0.5);
        size = std::snprintf(line, sizeof line, "%zu/%zu pictures, %.1f/s, %lu:%02lu left", done, total_, rate,
                             left / 60, left % 60);
    }
    if (size < 0) return;
    // Blanks over what is left of a longer line: no escape sequences needed.
    const size_t width = static_cast<size_t>(size) < sizeof line ? static_cast<size_t>(size) : sizeof line - 1;
    std::fprintf(stderr, "\r%s%*s", line, width < width_ ? static_cast<int>(width_ - width) : 0, "");
    std::fflush(stderr);
    width_ = width;
}

void Progress::Clear() {
    if (!drawn_ || width_ == 0) return;
    std::fprintf(stderr, "\r%*s\r", static_cast<int>(width_), "");
    std::fflush(stderr);
    width_ = 0;
}

}  // namespace host
