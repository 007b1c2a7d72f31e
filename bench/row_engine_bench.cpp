// The row engine against the plain scalar loop, in one process on the same
// images:
//   (a) 1600 x 1200, 256 iterations, default Mandelbrot, periodicity off;
//   (b) 1600 x 1200, 4096 iterations, x -0.7454..-0.7446, y 0.1126..0.1132,
//       periodicity off;
//   (c) every type at 640 x 480 with its defaults, periodicity on, on one
//       thread and on two.
// Runs on more than one thread take their helpers from one RowWorkers made
// for the whole process, as a program that renders image after image would;
// (c) also shows two threads started afresh for each image.
// When the build found the reference exact loop (a stand-alone program kept
// beside the project, the fastest exact loop known for this machine), (a)
// and (b) also run it, on one thread and on all, with its own timing of its
// loop alone; on an AVX-512 machine also its four-lane (AVX2) loop, which our
// AVX2 loops are reported against.
// For (a) and (b) each variant is reported in iterations (passes of the
// Mandelbrot step) per second, as a multiple of the plain loop and against
// the reference loop on as many threads; for (c)
// as pixels per second and the two-thread speed-up. The summary at the end
// prints the ratios measured in this run, each variant at its best
// repetition, since other work on the machine only ever slows a run down.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "plot_driver.h"
#include "row_pipeline.h"
#include "simd_level.h"

namespace fernwise {
namespace {

PaletteState& rgbPalette() {
    static PaletteState state = [] {
        PaletteState s;
        s.logicalPaletteSize = 256;
        loadPalette6(s.table, defaultPalette());
        buildLogicalPalette(s);
        return s;
    }();
    return state;
}

RenderRequest mandelbrotRequest(char which) {
    RenderRequest r;
    r.type = FractalType::Mandelbrot;
    r.params = defaultParams(FractalType::Mandelbrot);
    r.width = 1600;
    r.height = 1200;
    r.flags.periodicityChecking = false;
    if (which == 'b') {
        r.params.iterations = 4096;
        r.params.xmin = -0.7454;
        r.params.xmax = -0.7446;
        r.params.ymin = 0.1126;
        r.params.ymax = 0.1132;
    }
    return r;
}

// The straightforward loop a programmer would write, with the arithmetic of
// the Mandelbrot kernel: one point after another, one pass after another.
std::int64_t plainMandelbrot(const RenderRequest& r, std::vector<std::uint8_t>& counts) {
    const FractalParams& p = r.params;
    const double spanX = r.aspectFactor * (p.xmax - p.xmin);
    const double spanY = r.aspectFactor * (p.ymax - p.ymin);
    std::int64_t passes = 0;
    for (int row = 0; row < r.height; ++row) {
        const double y0 = rowValue(p.ymax, spanY, row, r.height);
        for (int column = 0; column < r.width; ++column) {
            const double x0 = columnValue(p.xmin, spanX, column, r.width);
            double x = x0;
            double y = y0;
            double magnitude = x * x + y * y;
            std::int32_t n = 0;
            while (magnitude <= p.sizeLimit && n < p.iterations) {
                const double nx = (x + y) * (x - y) + x0;
                y = 2.0 * x * y + y0;
                x = nx;
                magnitude = x * x + y * y;
                ++n;
            }
            counts[static_cast<std::size_t>(row) * r.width + column] = static_cast<std::uint8_t>(n);
            passes += n;
        }
    }
    return passes;
}

std::int64_t passesOf(char which) {
    static std::map<char, std::int64_t> known;
    auto it = known.find(which);
    if (it != known.end()) return it->second;
    const RenderRequest r = mandelbrotRequest(which);
    std::vector<std::uint8_t> counts(static_cast<std::size_t>(r.width) * r.height);
    return known[which] = plainMandelbrot(r, counts);
}

void plainLoop(benchmark::State& state, char which) {
    const RenderRequest r = mandelbrotRequest(which);
    std::vector<std::uint8_t> counts(static_cast<std::size_t>(r.width) * r.height);
    for (auto _ : state) benchmark::DoNotOptimize(plainMandelbrot(r, counts));
    state.counters["passes"] = static_cast<double>(passesOf(which));
}

void scalarDriver(benchmark::State& state, const RenderRequest& r) {
    auto screen = VirtualScreen::create(r.width, r.height, PixelFormat::Rgb32);
    for (auto _ : state) {
        renderImage(r, *screen, rgbPalette());
        benchmark::DoNotOptimize(screen->bits());
    }
}

RowWorkers& helpers() {
    static RowWorkers workers;
    return workers;
}

void rowEngine(benchmark::State& state, const RenderRequest& r, int threads, SimdLevel level, bool ownThreads = false) {
    auto screen = VirtualScreen::create(r.width, r.height, PixelFormat::Rgb32);
    RowWorkers* workers = ownThreads ? nullptr : &helpers();
    for (auto _ : state) {
        renderImageParallel(r, *screen, rgbPalette(), nullptr, nullptr, threads, level, {}, workers);
        benchmark::DoNotOptimize(screen->bits());
    }
}

#ifdef FERNWISE_EXACT_LIMIT_REFERENCE
// Runs the reference program on one of the images and takes the fastest of
// its repetitions as one iteration's time; its count of passes must be ours.
// With `avx2` it runs its four-lane loop, both with its defaults and with
// the settings its notes give as the best on machines without AVX-512, and
// keeps the faster.
void referenceLoop(benchmark::State& state, char which, int threads, bool avx2) {
    const RenderRequest r = mandelbrotRequest(which);
    const FractalParams& p = r.params;
    std::vector<std::string> commands;
    for (const char* settings : avx2 ? std::vector<const char*>{" --isa avx2", " --isa avx2 --chains 4 --block 8"}
                                     : std::vector<const char*>{""}) {
        char command[512];
        std::snprintf(command, sizeof command, "'%s' %d %d %d %.17g %.17g %.17g %.17g --threads %d --reps 3%s",
                      FERNWISE_EXACT_LIMIT_REFERENCE, r.width, r.height, p.iterations, p.xmin, p.xmax, p.ymin, p.ymax,
                      threads, settings);
        commands.emplace_back(command);
    }
    for (auto _ : state) {
        double best = 0.0;
        for (const std::string& command : commands) {
            FILE* pipe = popen(command.c_str(), "r");
            if (pipe == nullptr) {
                state.SkipWithError("cannot start the reference loop");
                return;
            }
            long long passes = -1;
            bool timed = false;
            char line[1024];
            while (std::fgets(line, sizeof line, pipe) != nullptr) {
                if (std::strncmp(line, "times:", 6) == 0) {
                    char* at = line + 6;
                    char* end = nullptr;
                    for (double t = std::strtod(at, &end); end != at; at = end, t = std::strtod(at, &end)) {
                        if (best == 0.0 || t < best) best = t;
                        timed = true;
                    }
                }
                std::sscanf(line, "total_iterations=%lld", &passes);
            }
            if (pclose(pipe) != 0 || !timed || passes != passesOf(which)) {
                state.SkipWithError("the reference loop failed or computed another image");
                return;
            }
        }
        state.SetIterationTime(best);
    }
}
#endif

RenderRequest typeRequest(FractalType type) {
    RenderRequest r;
    r.type = type;
    r.params = defaultParams(type);
    r.width = 640;
    r.height = 480;
    r.flags.periodicityChecking = true;
    return r;
}

const int allThreads = defaultThreadCount();

std::string threadsName(int threads) { return std::to_string(threads) + (threads == 1 ? " thread" : " threads"); }

void registerAll() {
    for (char which : {'a', 'b'}) {
        const std::string prefix = std::string(1, which) + "/";
        const RenderRequest r = mandelbrotRequest(which);
        const int repeats = which == 'a' ? 3 : 1;
        benchmark::RegisterBenchmark((prefix + "plain loop").c_str(),
                                     [which](benchmark::State& s) { plainLoop(s, which); })
            ->Iterations(repeats)
            ->Repetitions(3)
            ->UseRealTime()
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark((prefix + "scalar driver").c_str(),
                                     [r](benchmark::State& s) { scalarDriver(s, r); })
            ->Iterations(repeats)
            ->Repetitions(3)
            ->UseRealTime()
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark((prefix + "scalar engine, 1 thread").c_str(),
                                     [r](benchmark::State& s) { rowEngine(s, r, 1, SimdLevel::Scalar); })
            ->Iterations(repeats)
            ->Repetitions(3)
            ->UseRealTime()
            ->Unit(benchmark::kMillisecond);
#ifdef FERNWISE_EXACT_LIMIT_REFERENCE
        // On an AVX-512 machine its four-lane loop stands in for an AVX2
        // machine's, beside our AVX2 loops.
        for (bool avx2 : {false, true}) {
            if (avx2 && !simdLevelSupported(SimdLevel::Avx512)) break;
            for (int threads : {1, allThreads}) {
                benchmark::RegisterBenchmark(
                    (prefix + (avx2 ? "reference loop avx2, " : "reference loop, ") + threadsName(threads)).c_str(),
                    [which, threads, avx2](benchmark::State& s) { referenceLoop(s, which, threads, avx2); })
                    ->Iterations(1)
                    ->Repetitions(3)
                    ->UseManualTime()
                    ->Unit(benchmark::kMillisecond);
                if (allThreads == 1) break;
            }
        }
#endif
        for (SimdLevel level : {SimdLevel::Avx2, SimdLevel::Avx512}) {
            if (!simdLevelSupported(level)) continue;
            const std::string name(simdLevelName(level));
            benchmark::RegisterBenchmark((prefix + name + ", " + threadsName(1)).c_str(),
                                         [r, level](benchmark::State& s) { rowEngine(s, r, 1, level); })
                ->Iterations(repeats * 3)
                ->Repetitions(3)
                ->UseRealTime()
                ->Unit(benchmark::kMillisecond);
            benchmark::RegisterBenchmark((prefix + name + ", " + threadsName(allThreads)).c_str(),
                                         [r, level](benchmark::State& s) { rowEngine(s, r, allThreads, level); })
                ->Iterations(repeats * 3)
                ->Repetitions(3)
                ->UseRealTime()
                ->Unit(benchmark::kMillisecond);
        }
    }
    for (int t = 0; t < fractalTypeCount; ++t) {
        const auto type = static_cast<FractalType>(t);
        const RenderRequest r = typeRequest(type);
        const std::string prefix = "c/" + std::string(fractalTypeEnumerator(type)) + "/";
        for (int variant = 0; variant < 3; ++variant) {
            const int threads = variant == 0 ? 1 : 2;
            const bool ownThreads = variant == 2;
            const std::string name = variant == 0 ? "1 thread" : variant == 1 ? "2 threads" : "2 new threads";
            benchmark::RegisterBenchmark((prefix + name).c_str(),
                                         [r, threads, ownThreads](benchmark::State& s) {
                                             rowEngine(s, r, threads, bestSimdLevel(), ownThreads);
                                         })
                ->Iterations(type == FractalType::Sine ? 2 : 10)
                ->Repetitions(5)
                ->UseRealTime()
                ->Unit(benchmark::kMillisecond);
        }
    }
}

// Keeps the best real time of every variant for the summary.
class SummaryReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            if (run.run_type != Run::RT_Iteration) continue;
            const double seconds = run.GetAdjustedRealTime() / 1e3;
            auto [it, added] = seconds_.emplace(run.run_name.function_name, seconds);
            if (!added && seconds < it->second) it->second = seconds;
        }
        ConsoleReporter::ReportRuns(runs);
    }

    void printSummary() const {
        std::printf("\nSummary (best vector level: %s, %d hardware threads)\n",
                    std::string(simdLevelName(bestSimdLevel())).c_str(), allThreads);
        for (char which : {'a', 'b'}) {
            const std::string prefix = std::string(1, which) + "/";
            const auto base = seconds_.find(prefix + "plain loop");
            if (base == seconds_.end()) continue;
            const double passes = static_cast<double>(passesOf(which));
            std::printf("(%c) %.0f iterations\n", which, passes);
            for (const auto& [name, secs] : seconds_) {
                if (name.rfind(prefix, 0) != 0) continue;
                std::printf("  %-34s %9.1f M iterations/s  %6.2f x plain loop", name.substr(2).c_str(),
                            passes / secs / 1e6, base->second / secs);
                // Against the reference loop on as many threads (its
                // four-lane loop for ours, where both ran).
                const std::size_t comma = name.rfind(", ");
                auto reference = seconds_.end();
                if (comma != std::string::npos) {
                    if (name.rfind(prefix + "avx2", 0) == 0)
                        reference = seconds_.find(prefix + "reference loop avx2" + name.substr(comma));
                    if (reference == seconds_.end())
                        reference = seconds_.find(prefix + "reference loop" + name.substr(comma));
                }
                if (reference != seconds_.end()) std::printf("  %5.2f x reference", reference->second / secs);
                std::printf("\n");
            }
        }
        std::printf(
            "(c) 640 x 480, periodicity on: pixels/s on 1 thread, on 2 (kept helper) and on 2 started per image\n");
        for (int t = 0; t < fractalTypeCount; ++t) {
            const std::string prefix = "c/" + std::string(fractalTypeEnumerator(static_cast<FractalType>(t))) + "/";
            const auto one = seconds_.find(prefix + "1 thread");
            const auto two = seconds_.find(prefix + "2 threads");
            const auto fresh = seconds_.find(prefix + "2 new threads");
            if (one == seconds_.end() || two == seconds_.end() || fresh == seconds_.end()) continue;
            std::printf("  %-20s %8.2f M/s %8.2f M/s %5.2f x %8.2f M/s %5.2f x\n",
                        prefix.substr(2, prefix.size() - 3).c_str(), 640.0 * 480.0 / one->second / 1e6,
                        640.0 * 480.0 / two->second / 1e6, one->second / two->second,
                        640.0 * 480.0 / fresh->second / 1e6, one->second / fresh->second);
        }
    }

private:
    std::map<std::string, double> seconds_;
};

}  // namespace
}  // namespace fernwise

int main(int argc, char** argv) {
    fernwise::registerAll();
    benchmark::Initialize(&argc, argv);
    fernwise::SummaryReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.printSummary();
    benchmark::Shutdown();
    return 0;
}
