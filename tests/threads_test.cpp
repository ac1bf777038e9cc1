// Calls from several threads at once: each result, file and console line as
// if the calls had come one after another. The threads' stacks are small: a
// call keeps its large scratch on the heap, and works on a thread of 64 KiB
// (musl's default is 128 KiB), here half that for a margin, or the system's
// least where that is more; sanitizers' frames are larger, so four times.
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <map>
#include <sstream>
#include <thread>

#include <climits>
#include <pthread.h>

#include "support/Call.h"

using namespace testing_support;

namespace {

TEST(Threads, CallsAtOnceGiveEveryResultByteAndLineRight) {
    constexpr int kThreads = 8, kRounds = 3;
    TempDir dir;
    std::vector<Picture> pictures;
    for (int t = 0; t < kThreads; ++t) {
        pictures.push_back(DistinctPicture(uint32_t(37 + 11 * t), uint32_t(23 + 5 * t)));
        WriteFile(dir.File("in" + std::to_string(t) + ".bmp"), EncodeBMP(pictures.back()));
    }
    // Every fourth thread names a missing input: a one-line outcome among the two-line ones.
    auto missing = [](int t) { return t % 4 == 3; };
    auto angle = [](int t, int round) { return int32_t(30 * t + 7 * round); };
    auto out = [&](int t, int r) { return dir.File("out" + std::to_string(t) + "-" + std::to_string(r) + ".bmp"); };

    std::vector<std::vector<int32_t>> results(kThreads);
    std::atomic<int> waiting{kThreads};
#if defined(VINTREL_SANITIZED)
    size_t stack = 128 << 10;
#else
    size_t stack = 32 << 10;
#endif
#if defined(PTHREAD_STACK_MIN)
    stack = std::max(stack, static_cast<size_t>(PTHREAD_STACK_MIN));  // a call to sysconf in some C libraries
#endif
    pthread_attr_t attributes;
    pthread_attr_init(&attributes);
    ASSERT_EQ(pthread_attr_setstacksize(&attributes, stack), 0);
    testing::internal::CaptureStdout();
    std::vector<std::function<void()>> bodies(kThreads);  // sized up front: none moves while it runs
    std::vector<pthread_t> threads(kThreads);
    for (int t = 0; t < kThreads; ++t) {
        bodies[size_t(t)] = [&, t] {
            const std::u16string in = U16(dir.File((missing(t) ? "absent" : "in") + std::to_string(t) + ".bmp"));
            --waiting;
            while (waiting.load() > 0) std::this_thread::yield();
            for (int round = 0; round < kRounds; ++round)
                results[size_t(t)].push_back(BMPRotate2(in.c_str(), U16(out(t, round)).c_str(), angle(t, round)));
        };
        ASSERT_EQ(pthread_create(&threads[size_t(t)], &attributes, [](void* body) -> void* {
            (*static_cast<std::function<void()>*>(body))();
            return nullptr;
        }, &bodies[size_t(t)]), 0);
    }
    for (pthread_t thread : threads) pthread_join(thread, nullptr);
    std::istringstream printed(testing::internal::GetCapturedStdout());

    std::map<std::string, int> lines;
    for (std::string line; std::getline(printed, line);) ++lines[line + "\n"];
    const int found = kRounds * (kThreads / 4), written = kRounds * kThreads - found;
    EXPECT_EQ(lines, (std::map<std::string, int>{{kMissingLine, found}, {kReadLine, written}, {kWrittenLine, written}}))
        << "every line whole, one per outcome";
    for (int t = 0; t < kThreads; ++t) {
        EXPECT_EQ(results[size_t(t)], std::vector<int32_t>(kRounds, missing(t) ? -3 : 999)) << "thread " << t;
        for (int r = 0; r < kRounds; ++r) {
            const std::string file = out(t, r);
            if (missing(t)) {
                EXPECT_FALSE(FileExists(file)) << file;
            } else {
                EXPECT_EQ(DecodeWrittenBMP(ReadFile(file)), ReferenceRotate(pictures[size_t(t)], angle(t, r))) << file;
            }
        }
    }
}

}  // namespace
