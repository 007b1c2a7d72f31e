#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "param_validation.h"
#include "plot_driver.h"

namespace fernwise {

// Everything the batch renderer was asked for on its command line.
struct RenderOptions {
    FractalType type = FractalType::Mandelbrot;
    ParamEntry entry;  // the type's defaults with the overrides applied
    int width = 640;
    int height = 480;
    int displayBits = 32;
    bool trueColor = false;
    bool periodicity = true;
    bool specialColoring = false;
    double aspect = 1.0;
    bool quiet = false;  // no progress display
    int threads = 0;     // threads computing rows; 0: one per core
    std::string mapFile;
    std::string output;
    // A band: rows firstRow .. firstRow + rowCount - 1 of the image
    // (rowCount 0: the whole image).
    int firstRow = 0;
    int rowCount = 0;
    std::string levelSetsOut;  // write the 24-bit level-set tables there
    std::string levelSetsIn;   // take them from there instead of sampling
    bool help = false;
    bool version = false;
};

// The largest side an image may have: what PNG allows.
inline constexpr long long maxImageSide = 2147483647;
// The whole-image formats (GIF, Targa) keep the limits of the screen image.
inline constexpr long long maxWholeImageSide = 32768;
inline constexpr long long maxWholeImagePixels = 1LL << 28;

struct ParseResult {
    std::optional<RenderOptions> options;  // empty on a usage error
    std::string error;                     // what was wrong, for the usage message
};

// Accepts --opt value and --opt=value alike; after "--" every argument is
// the output.
ParseResult parseRenderOptions(const std::vector<std::string>& args);

// The option and its value when `arg` is written --opt=value.
std::optional<std::pair<std::string, std::string>> splitOption(const std::string& arg);

std::string usageLine();
std::string helpText();

}  // namespace fernwise
