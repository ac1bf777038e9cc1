// The rotation stage, plain loop and fast paths side by side, and the whole
// call on files. Every benchmark first checks its output against the plain
// loop and refuses to time a wrong answer.
//
//   build/release/bin/vintrel_bench --benchmark_filter='Stage/.*/4000x3000/30'
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "VintrelBMPRotate2.h"
#include "bmp/BMPFile.h"
#include "rotate/Rotate.h"
#include "rotate/RotateFast.h"

#include "PlainRotate.h"

using namespace vintrel;

namespace {

struct Size {
    uint32_t w, h;
};

// Set when a benchmark's output was wrong: the run then fails as a whole.
bool wrongOutput = false;

void Refuse(benchmark::State& state, const char* why) {
    wrongOutput = true;
    state.SkipWithError(why);
}

// Owns one picture's buffer for the life of a benchmark.
struct Picture {
    BMPImage image{0, 0, nullptr};
    Picture(uint32_t w, uint32_t h) {
        image = BMPImage{w, h, nullptr};
        if (!AttachPixels(image)) std::abort();
    }
    ~Picture() { ReleasePixels(image); }
    Picture(const Picture&) = delete;
    Picture& operator=(const Picture&) = delete;
    size_t Bytes() const { return 3u * static_cast<size_t>(image.width) * image.height; }
};

void Fill(BMPImage& image) {
    uint32_t v = 12345;
    for (size_t k = 0; k < 3u * static_cast<size_t>(image.width) * image.height; ++k) {
        v = v * 1103515245u + 12345u;
        image.pixels[k] = static_cast<uint8_t>(v >> 23);
    }
}

struct Turned {
    double c, s;
    Canvas canvas;
};

Turned TurnOf(Size size, int32_t angle) {
    const Turn turn = TurnFor(angle);
    return Turned{turn.c, turn.s, CanvasFor(size.w, size.h, turn.c, turn.s)};
}

void SetCanvasRate(benchmark::State& state, const Canvas& canvas) {
    const double mpx = static_cast<double>(canvas.width) * canvas.height / 1e6;
    state.counters["canvas_Mpx/s"] = benchmark::Counter(mpx, benchmark::Counter::kIsIterationInvariantRate);
}

double Median(std::vector<double> v) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// kernel < 0: the plain loop.
void Stage(benchmark::State& state, Size size, int32_t angle, int kernel) {
    Picture source(size.w, size.h);
    Fill(source.image);
    const Turned turn = TurnOf(size, angle);
    Picture expected(turn.canvas.width, turn.canvas.height), out(turn.canvas.width, turn.canvas.height);
    RotatePixels(source.image, expected.image, turn.c, turn.s);
    auto once = [&] {
        if (kernel < 0)
            RotatePixels(source.image, out.image, turn.c, turn.s);
        else
            RotatePixelsFast(source.image, out.image, turn.c, turn.s, static_cast<RotateKernel>(kernel));
    };
    std::memset(out.image.pixels, 0, out.Bytes());
    once();
    if (out.Bytes() != 0 && std::memcmp(out.image.pixels, expected.image.pixels, out.Bytes()) != 0) {
        Refuse(state, "output differs from the plain loop");
        return;
    }
    // Beside each turn, a warm memcpy of the canvas's bytes between buffers
    // of their own: what moving them costs on this machine at this moment,
    // so that the ratio of the two medians comes from one run.
    Picture copied(turn.canvas.width, turn.canvas.height);
    std::memset(copied.image.pixels, 0, copied.Bytes());
    using Clock = std::chrono::steady_clock;
    std::vector<double> turns, copies;
    for (auto _ : state) {
        const Clock::time_point start = Clock::now();
        once();
        benchmark::DoNotOptimize(out.image.pixels);
        benchmark::ClobberMemory();
        const Clock::time_point turned = Clock::now();
        state.PauseTiming();
        const Clock::time_point copyStart = Clock::now();
        std::memcpy(copied.image.pixels, expected.image.pixels, copied.Bytes());
        benchmark::ClobberMemory();
        copies.push_back(std::chrono::duration<double, std::milli>(Clock::now() - copyStart).count());
        turns.push_back(std::chrono::duration<double, std::milli>(turned - start).count());
        state.ResumeTiming();
    }
    SetCanvasRate(state, turn.canvas);
    const double copy = Median(copies);
    state.counters["memcpy_ms"] = copy;
    if (copy > 0) state.counters["x_memcpy"] = Median(turns) / copy;
}

std::u16string Wide(const std::string& narrow) { return std::u16string(narrow.begin(), narrow.end()); }

// The export on files: read, turn, write, as a host calls it. Its console
// lines go to /dev/null while the clock runs.
void WholeCall(benchmark::State& state, Size size, int32_t angle) {
    char folder[] = "/tmp/vintrel-bench-XXXXXX";
    if (mkdtemp(folder) == nullptr) {
        state.SkipWithError("no scratch folder");
        return;
    }
    const std::string in = std::string(folder) + "/in.bmp", outName = std::string(folder) + "/out.bmp";
    Picture source(size.w, size.h);
    Fill(source.image);
    if (WriteBMP(in.c_str(), &source.image) != WriteOk) std::abort();
    const Turned turn = TurnOf(size, angle);
    Picture expected(turn.canvas.width, turn.canvas.height);
    RotatePixels(source.image, expected.image, turn.c, turn.s);

    const std::u16string win = Wide(in), wout = Wide(outName);
    std::fflush(stdout);
    const int console = dup(1), devnull = open("/dev/null", O_WRONLY);
    dup2(devnull, 1);
    int32_t result = BMPRotate2(win.c_str(), wout.c_str(), angle);
    bool same = false;
    if (result == 999) {
        BMPImage written{0, 0, nullptr};
        same = ReadBMP(outName.c_str(), &written) == ReadOk && written.width == turn.canvas.width &&
               written.height == turn.canvas.height &&
               std::memcmp(written.pixels, expected.image.pixels, expected.Bytes()) == 0;
        ReleasePixels(written);
        for (auto _ : state) result = BMPRotate2(win.c_str(), wout.c_str(), angle);
    }
    std::fflush(stdout);
    dup2(console, 1);
    close(console);
    close(devnull);
    std::remove(in.c_str());
    std::remove(outName.c_str());
    rmdir(folder);
    if (result != 999 || !same) {
        Refuse(state, "the call failed or its file differs from the plain loop");
        return;
    }
    SetCanvasRate(state, turn.canvas);
    state.counters["file_MB/s"] = benchmark::Counter(
        static_cast<double>(StoredFileBytes(size.w, size.h) + StoredFileBytes(turn.canvas.width, turn.canvas.height)) /
            1e6,
        benchmark::Counter::kIsIterationInvariantRate);
}

std::string Name(Size size, int32_t angle) {
    return std::to_string(size.w) + "x" + std::to_string(size.h) + "/" + std::to_string(angle);
}

}  // namespace

int main(int argc, char** argv) {
    const Size sizes[] = {{640, 480}, {1000, 750}, {4000, 3000}};
    const int32_t angles[] = {0, 1, 30, 45, 89, 90, 179, 180, 271};
    for (Size size : sizes)
        for (int32_t angle : angles) {
            benchmark::RegisterBenchmark(("Stage/plain/" + Name(size, angle)).c_str(), Stage, size, angle, -1)
                ->Unit(benchmark::kMillisecond)
                ->UseRealTime();
            // The fast path as RotateImage takes it, then each kernel forced.
            benchmark::RegisterBenchmark(("Stage/fast/" + Name(size, angle)).c_str(), Stage, size, angle,
                                         static_cast<int>(BestKernel()))
                ->Unit(benchmark::kMillisecond)
                ->UseRealTime();
            for (RotateKernel k : {RotateKernel::Scalar, RotateKernel::SSE2, RotateKernel::AVX2, RotateKernel::AVX512,
                                   RotateKernel::NEON}) {
                if (!KernelAvailable(k)) continue;
                benchmark::RegisterBenchmark(
                    ("Stage/kernel:" + std::string(RotateKernelName(k)) + "/" + Name(size, angle)).c_str(), Stage,
                    size, angle, static_cast<int>(k))
                    ->Unit(benchmark::kMillisecond)
                    ->UseRealTime();
            }
        }
    // Growth with the canvas where both pictures are larger than the caches:
    // from a cache-sized picture the step to memory would dominate.
    for (Size size : {Size{2400, 1800}, Size{9600, 7200}})
        benchmark::RegisterBenchmark(("Stage/fast/" + Name(size, 30)).c_str(), Stage, size, 30,
                                     static_cast<int>(BestKernel()))
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
    for (Size size : sizes)
        for (int32_t angle : {30, 90})
            benchmark::RegisterBenchmark(("File/" + Name(size, angle)).c_str(), WholeCall, size, angle)
                ->Unit(benchmark::kMillisecond)
                ->UseRealTime();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return wrongOutput ? 1 : 0;
}
