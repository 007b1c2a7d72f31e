// Writes 1600 x 1200 images with our GIF writer and with giflib, the same
// indices to files in the same folder, and prints the ratio of the times.

#include <benchmark/benchmark.h>
#include <gif_lib.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "gif_writer.h"
#include "palette_index_lookup.h"
#include "plot_driver.h"
#include "targa_writer.h"

namespace fernwise {
namespace {

namespace fs = std::filesystem;

constexpr int width = 1600;
constexpr int height = 1200;

struct BenchImage {
    std::unique_ptr<VirtualScreen> screen;
    std::vector<std::uint8_t> indices;  // what the GIF holds, for giflib
};

PaletteState& palette() {
    static PaletteState state = [] {
        PaletteState s;
        s.logicalPaletteSize = 256;
        loadPalette6(s.table, defaultPalette());
        buildLogicalPalette(s);
        return s;
    }();
    return state;
}

void takeIndices(BenchImage& image) {
    const PaletteIndexLookup lookup(palette().entries);
    image.indices.resize(static_cast<std::size_t>(width) * height);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            image.indices[static_cast<std::size_t>(y) * width + static_cast<std::size_t>(x)] =
                pixelIndexAt(*image.screen, lookup, x, y);
        }
    }
}

// The default Mandelbrot plot as the program draws it on a deep-colour display.
const BenchImage& mandelbrot() {
    static BenchImage image = [] {
        BenchImage i;
        i.screen = VirtualScreen::create(width, height, PixelFormat::Rgb32);
        RenderRequest request;
        request.width = width;
        request.height = height;
        renderImage(request, *i.screen, palette());
        takeIndices(i);
        return i;
    }();
    return image;
}

const BenchImage& oneColor() {
    static BenchImage image = [] {
        BenchImage i;
        i.screen = VirtualScreen::create(width, height, PixelFormat::Rgb32);
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) i.screen->setRgb(x, y, palette().table[40]);
        }
        takeIndices(i);
        return i;
    }();
    return image;
}

// The worst case for any LZW coder: no string repeats.
const BenchImage& noise() {
    static BenchImage image = [] {
        BenchImage i;
        i.screen = VirtualScreen::create(width, height, PixelFormat::Rgb32);
        std::mt19937 random(7);
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) i.screen->setRgb(x, y, palette().table[random() % 236]);
        }
        takeIndices(i);
        return i;
    }();
    return image;
}

const BenchImage& imageNamed(int which) {
    switch (which) {
        case 0: return mandelbrot();
        case 1: return oneColor();
        default: return noise();
    }
}

const char* imageName(int which) {
    static const char* names[] = {"mandelbrot", "one_colour", "noise"};
    return names[which];
}

fs::path outputPath(const char* name) { return fs::temp_directory_path() / name; }

void ours(benchmark::State& state) {
    const BenchImage& image = imageNamed(static_cast<int>(state.range(0)));
    const fs::path path = outputPath("fernwise-bench-ours.gif");
    NullSaveProgress progress;
    const SaveRequest request{path, "bench.gif", 9, false, nullptr};
    for (auto _ : state) {
        if (writeGif(request, *image.screen, palette().entries, progress) != SaveStatus::Saved) {
            state.SkipWithError("writeGif failed");
            break;
        }
    }
    state.counters["bytes"] = static_cast<double>(fs::file_size(path));
    state.SetLabel(imageName(static_cast<int>(state.range(0))));
    fs::remove(path);
}

void giflib(benchmark::State& state) {
    const BenchImage& image = imageNamed(static_cast<int>(state.range(0)));
    const fs::path path = outputPath("fernwise-bench-giflib.gif");
    std::vector<GifColorType> colors(256);
    for (std::size_t i = 0; i < colors.size(); ++i) {
        colors[i] = {palette().entries[i].red, palette().entries[i].green, palette().entries[i].blue};
    }
    std::vector<GifPixelType> row(width);
    for (auto _ : state) {
        int error = 0;
        GifFileType* gif = EGifOpenFileName(path.string().c_str(), false, &error);
        ColorMapObject* map = GifMakeMapObject(256, colors.data());
        bool ok = gif != nullptr && map != nullptr && EGifPutScreenDesc(gif, width, height, 8, 0, map) == GIF_OK &&
                  EGifPutImageDesc(gif, 0, 0, width, height, false, nullptr) == GIF_OK;
        for (int y = 0; ok && y < height; ++y) {
            // giflib takes a writable row.
            std::copy_n(image.indices.data() + static_cast<std::size_t>(y) * width, width, row.data());
            ok = EGifPutLine(gif, row.data(), width) == GIF_OK;
        }
        if (gif != nullptr) ok = EGifCloseFile(gif, &error) == GIF_OK && ok;
        GifFreeMapObject(map);
        if (!ok) {
            state.SkipWithError("giflib failed");
            break;
        }
    }
    state.counters["bytes"] = static_cast<double>(fs::file_size(path));
    state.SetLabel(imageName(static_cast<int>(state.range(0))));
    fs::remove(path);
}

void oursTarga(benchmark::State& state) {
    const fs::path path = outputPath("fernwise-bench-ours.tga");
    NullSaveProgress progress;
    const SaveRequest request{path, "bench.tga", 9, false, nullptr};
    for (auto _ : state) {
        if (writeTarga(request, *mandelbrot().screen, progress) != SaveStatus::Saved) {
            state.SkipWithError("writeTarga failed");
            break;
        }
    }
    fs::remove(path);
}

// Ours and giflib alternate per image so that both see the same machine state.
BENCHMARK(ours)->Arg(0)->Unit(benchmark::kMillisecond);
BENCHMARK(giflib)->Arg(0)->Unit(benchmark::kMillisecond);
BENCHMARK(ours)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(giflib)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(ours)->Arg(2)->Unit(benchmark::kMillisecond);
BENCHMARK(giflib)->Arg(2)->Unit(benchmark::kMillisecond);
BENCHMARK(oursTarga)->Unit(benchmark::kMillisecond);

// Prints, after the usual table, ours / giflib per image: of the medians
// when the runs are repeated, else of the single runs.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.error_occurred) continue;
            const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
            if (run.run_type == Run::RT_Iteration || median) {
                auto& slot = times_[run.run_name.function_name][run.run_name.args];
                if (median || !slot.second) slot = {run.GetAdjustedRealTime(), median};
            }
        }
    }
    void Finalize() override {
        ConsoleReporter::Finalize();
        for (const auto& [args, time] : times_["ours"]) {
            const auto other = times_["giflib"].find(args);
            if (other == times_["giflib"].end()) continue;
            std::printf("%s: ours / giflib = %.3f\n", imageName(std::stoi(args)), time.first / other->second.first);
        }
    }

private:
    // Per function and argument: the time, and whether it is a median.
    std::map<std::string, std::map<std::string, std::pair<double, bool>>> times_;
};

}  // namespace
}  // namespace fernwise

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    fernwise::RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
