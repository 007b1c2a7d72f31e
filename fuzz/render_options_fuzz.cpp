// Arguments split at NUL bytes go through the option parser and, when they
// parse, through the parameter validation: no input may crash either, an
// accepted record must be one a plot can use, and it renders (at a few
// pixels, as fernrender would at its size) without a sanitizer report.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "level_sets.h"
#include "param_validation.h"
#include "render_options.h"
#include "row_pipeline.h"

namespace {

void render(const fernwise::RenderOptions& options, const fernwise::FractalParams& params) {
    using namespace fernwise;
    const ColorDepth depth = checkColorDepth(options.displayBits, options.displayBits == 8);
    if (depth.status != 0 || (options.trueColor && !depth.deepColorDisplay)) return;
    RenderRequest request;
    request.type = options.type;
    request.params = params;
    // The window of the requested size, sampled at a few pixels; the
    // iteration limit kept small enough for many runs a second.
    request.width = std::min(options.width, 7);
    request.height = std::min(options.height, 5);
    request.params.iterations = std::min(request.params.iterations, 300);
    request.aspectFactor = options.aspect;
    request.flags.paletteDevice = depth.paletteDevice;
    request.flags.trueColorMode = options.trueColor;
    request.flags.periodicityChecking = options.periodicity;
    request.flags.specialColoring = options.specialColoring;
    PaletteState palette;
    palette.logicalPaletteSize = depth.logicalPaletteSize;
    loadPalette6(palette.table, defaultPalette());
    if (buildLogicalPalette(palette) != 0) return;
    auto screen = VirtualScreen::create(request.width, request.height,
                                        depth.paletteDevice ? PixelFormat::Indexed8 : PixelFormat::Rgb32);
    screen->realize(*palette.logical);
    std::vector<std::uint8_t> indices(static_cast<std::size_t>(request.width) * request.height);
    LevelSetState levelSets;
    const LevelSetTables* tables = buildLevelSetTables(request, levelSets, LevelSetPassOptions{1, bestSimdLevel()});
    renderImageParallel(request, *screen, palette, indices.data(), tables, 1, bestSimdLevel());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::string> args(1);
    for (std::size_t i = 0; i < size; ++i) {
        if (data[i] == 0) {
            args.emplace_back();
        } else {
            args.back().push_back(static_cast<char>(data[i]));
        }
    }
    fernwise::ParseResult parsed = fernwise::parseRenderOptions(args);
    if (!parsed.options) return 0;
    fernwise::FractalParams params = fernwise::defaultParams(parsed.options->type);
    if (fernwise::validateParams(parsed.options->type, parsed.options->entry, params) != fernwise::noParamError)
        return 0;
    const bool sane = params.xmin < params.xmax && params.ymin < params.ymax && params.iterations >= 1 &&
                      params.iterations <= 16384 && params.sizeLimit >= 1.0 && params.sizeLimit <= 65536.0 &&
                      std::isfinite(params.param1);
    if (!sane) __builtin_trap();
    // The dialog's text parsing sees the same strings.
    for (const std::string& arg : args) {
        (void)fernwise::parseDecimalPrefix(arg);
        (void)fernwise::parseIntegerPrefix(arg);
    }
    render(*parsed.options, params);
    return 0;
}
