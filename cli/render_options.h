#pragma once

#include <optional>
#include <string>
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
    int threads = 0;  // threads computing rows; 0: one per core
    std::string mapFile;
    std::string output;
    bool help = false;
    bool version = false;
};

struct ParseResult {
    std::optional<RenderOptions> options;  // empty on a usage error
    std::string error;                     // what was wrong, for the usage message
};

ParseResult parseRenderOptions(const std::vector<std::string>& args);

std::string usageLine();
std::string helpText();

}  // namespace fernwise
