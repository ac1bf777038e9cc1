// Calls from several threads at once: each result, file and console line as
// if the calls had come one after another.
#include <gtest/gtest.h>

#include <atomic>
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

    std::vector<std::vector<int32_t>> results(kThreads);
    std::atomic<int> waiting{kThreads};
    testing::internal::CaptureStdout();
    {
        std::vector<std::thread> threads;
        for (int t = 0; t < kThreads; ++t) {
            threads.emplace_back([&, t] {
                const std::u16string in = U16(dir.File((missing(t) ? "absent" : "in") + std::to_string(t) + ".bmp"));
                --waiting;
                while (waiting.load() > 0) std::this_thread::yield();
                for (int round = 0; round < kRounds; ++round) {
                    const std::u16string out = U16(dir.File("out" + std::to_string(t) + "-" + std::to_string(round) + ".bmp"));
                    results[size_t(t)].push_back(BMPRotate2(in.c_str(), out.c_str(), angle(t, round)));
                }
            });
        }
        for (std::thread& thread : threads) thread.join();
    }
    std::istringstream printed(testing::internal::GetCapturedStdout());

    std::map<std::string, int> lines;
    for (std::string line; std::getline(printed, line);) ++lines[line + "\n"];
    const int found = kRounds * (kThreads / 4), written = kRounds * kThreads - found;
    EXPECT_EQ(lines, (std::map<std::string, int>{{kMissingLine, found}, {kReadLine, written}, {kWrittenLine, written}}))
        << "every line whole, one per outcome";
    for (int t = 0; t < kThreads; ++t) {
        for (int round = 0; round < kRounds; ++round) {
            const std::string out = dir.File("out" + std::to_string(t) + "-" + std::to_string(round) + ".bmp");
            ASSERT_EQ(results[size_t(t)].size(), size_t(kRounds));
            EXPECT_EQ(results[size_t(t)][size_t(round)], missing(t) ? -3 : 999) << t << "/" << round;
            if (missing(t)) {
                EXPECT_FALSE(FileExists(out)) << out;
            } else {
                EXPECT_EQ(DecodeWrittenBMP(ReadFile(out)), ReferenceRotate(pictures[size_t(t)], angle(t, round))) << out;
            }
        }
    }
}

// A call keeps its large scratch on the heap: it works on a thread with a
// small stack (musl's default is 128 KiB; 64 KiB is asked for), here half
// that for a margin, or the system's least where that is more; sanitizers'
// frames are larger, so four times.
TEST(Threads, ACallFitsASmallStack) {
#if defined(VINTREL_SANITIZED)
    constexpr size_t kStack = 128 << 10;
#else
    constexpr size_t kStack = 32 << 10;
#endif
    TempDir dir;
    const Picture picture = DistinctPicture(700, 300);
    WriteFile(dir.File("in.bmp"), EncodeBMP(picture));
    struct Call {
        std::u16string in, out;
        int32_t angle, result;
    };
    for (const int32_t angle : {0, 1, 30, 90, 179}) {
        Call call{U16(dir.File("in.bmp")), U16(dir.File("out.bmp")), angle, 0};
        pthread_attr_t attributes;
        ASSERT_EQ(pthread_attr_init(&attributes), 0);
#if defined(PTHREAD_STACK_MIN)
        const auto least = static_cast<size_t>(PTHREAD_STACK_MIN);  // a call to sysconf in some C libraries
#else
        const size_t least = 0;
#endif
        ASSERT_EQ(pthread_attr_setstacksize(&attributes, std::max(kStack, least)), 0);
        pthread_t thread;
        testing::internal::CaptureStdout();
        ASSERT_EQ(pthread_create(&thread, &attributes, [](void* c) -> void* {
                      auto& job = *static_cast<Call*>(c);
                      job.result = BMPRotate2(job.in.c_str(), job.out.c_str(), job.angle);
                      return nullptr;
                  }, &call), 0);
        pthread_join(thread, nullptr);
        testing::internal::GetCapturedStdout();
        pthread_attr_destroy(&attributes);
        EXPECT_EQ(call.result, 999) << angle;
        EXPECT_EQ(DecodeWrittenBMP(ReadFile(dir.File("out.bmp"))), ReferenceRotate(picture, angle)) << angle;
    }
}

}  // namespace
