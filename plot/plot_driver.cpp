#include "plot_driver.h"

#include <algorithm>
#include <array>

#include "kernels_inline.h"

namespace fernwise {
namespace {

constexpr int logicalEntries = 236;

struct RowContext {
    int row;
    int width;
    double xmin;
    double spanX;
    double y;
    bool inversion;
    double iterationScale;
};

// The per-pixel sequence, instantiated per kernel so that the loop holds no
// dispatch on the type.
template <typename Kernel, typename Writer>
void rowLoop(KernelState& s, const RowContext& r, const ColoringContext& coloring, Kernel kernel, Writer write) {
    for (int i = 0; i < r.width; ++i) {
        double x = columnValue(r.xmin, r.spanX, i, r.width);
        double y = r.y;
        resetForPoint(s, x * x + y * y, r.iterationScale);
        if (r.inversion) invertPoint(x, y, 1.0);
        double fraction = 0.0;
        bool blend = false;
        std::int32_t n = kernel(s, x, y, i, r.row);
        std::int32_t index = colorPoint(s, coloring, n, x, y, i, fraction, blend);
        write(i, index, fraction, blend);
    }
}

template <typename Writer>
void dispatchRow(KernelState& s, const RowContext& r, const ColoringContext& c, Writer write) {
    kernels::visitKernel(s.type, [&](auto kernel) { rowLoop(s, r, c, kernel, write); });
}

}  // namespace

// Entries 236..255 are drawn on a palette-based display as the logical
// palette's entry nearest to their colour.
std::array<std::uint8_t, paletteSize> nearestEntries(const PaletteState& palette) {
    std::array<std::uint8_t, paletteSize> map{};
    for (int i = 0; i < paletteSize; ++i) map[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(i);
    LogicalPalette fallback;
    const LogicalPalette* logical = palette.logical.get();
    if (logical == nullptr) {
        // No platform palette exists yet: match against the entries it would have.
        for (int i = 0; i < logicalEntries; ++i) {
            const Rgb& c = palette.table[static_cast<std::size_t>(i)];
            fallback.entries.push_back({c.red, c.green, c.blue, reservedFlag});
        }
        logical = &fallback;
    }
    for (int i = logicalEntries; i < paletteSize; ++i) {
        map[static_cast<std::size_t>(i)] = nearestLogicalEntry(*logical, palette.table[static_cast<std::size_t>(i)]);
    }
    return map;
}

Rgb blendedColor(const PaletteTable& table, std::int32_t index, double fraction) {
    const Rgb& a = table[static_cast<std::size_t>(index)];
    const Rgb& b = table[index == 255 ? 1 : static_cast<std::size_t>(index + 1)];
    auto mix = [fraction](std::uint8_t from, std::uint8_t to) {
        double step = fraction * (int{to} - int{from});
        return static_cast<std::uint8_t>(int{from} + static_cast<int>(step));
    };
    return {mix(a.red, b.red), mix(a.green, b.green), mix(a.blue, b.blue)};
}

double columnValue(double xmin, double plotSpanX, int column, int width) {
    if (width <= 1) return xmin;
    return xmin + (column * plotSpanX) / (width - 1);
}

double rowValue(double ymax, double plotSpanY, int row, int height) {
    if (height <= 1) return ymax;
    return ymax - (row * plotSpanY) / (height - 1);
}

PlotDriver::PlotDriver(int imageWidth, int imageHeight) { setImageSize(imageWidth, imageHeight); }

void PlotDriver::setImageSize(int width, int height) {
    imageWidth_ = width;
    imageHeight_ = height;
    rearm();
}

void PlotDriver::loadRecord(const FractalCatalog& catalog, FractalType type) {
    kernel.type = type;
    kernel.params = catalog[type];
}

void PlotDriver::computeGeometry(double factor) {
    const FractalParams& p = kernel.params;
    aspectFactor_ = factor;
    plotSpanX_ = aspectFactor_ * (p.xmax - p.xmin);
    plotSpanY_ = aspectFactor_ * (p.ymax - p.ymin);
    adjustedXmax_ = p.xmin + plotSpanX_;
    adjustedYmin_ = p.ymax - plotSpanY_;
    iterationScale_ = std::max(p.iterations, 256);
}

bool PlotDriver::beginTrueColor(bool trueColorMode) {
    if (!trueColorMode || kernel.params.outsideColoring != OutsideColoring::Standard) return false;
    levelSetTablesValid_ = true;
    kernel.params.sizeLimit = 256.0;
    return true;
}

void PlotDriver::startKernels() {
    kernel.periodicity.tolerance = std::min(plotSpanX_ / (2 * imageWidth_), plotSpanY_ / (2 * imageHeight_));
    kernel.periodicity.lastPointInside = false;
    started_ = true;
}

void PlotDriver::computeRow(VirtualScreen& screen, const PaletteState& palette, const PlotFlags& flags,
                            std::uint8_t* indicesOut) {
    const int row = nextRow();
    kernel.periodicityChecking = flags.periodicityChecking;
    kernel.specialColoring = flags.specialColoring;
    const FractalParams& p = kernel.params;
    const RowContext context{row,
                             imageWidth_,
                             p.xmin,
                             plotSpanX_,
                             rowValue(p.ymax, plotSpanY_, row, imageHeight_),
                             p.mappingMode == MappingMode::Inversion,
                             static_cast<double>(iterationScale_)};
    const ColoringContext coloring{rowCounter_, iterationScale_, flags.trueColorMode, levelSetTablesValid_, levelSets_};

    auto record = [indicesOut](int i, std::int32_t index) {
        if (indicesOut != nullptr) indicesOut[i] = static_cast<std::uint8_t>(index);
    };
    if (flags.paletteDevice) {
        const auto nearest = nearestEntries(palette);
        std::uint8_t* out = screen.indexRow(row);
        dispatchRow(kernel, context, coloring, [&](int i, std::int32_t index, double, bool) {
            record(i, index);
            out[i] = nearest[static_cast<std::size_t>(index & 0xff)];
        });
    } else {
        std::uint32_t* out = screen.rgbRow(row);
        dispatchRow(kernel, context, coloring, [&](int i, std::int32_t index, double fraction, bool blend) {
            record(i, index);
            const auto entry = static_cast<std::size_t>(index & 0xff);
            out[i] = VirtualScreen::packRgb(blend ? blendedColor(palette.table, index & 0xff, fraction)
                                                  : palette.table[entry]);
        });
    }
}

bool PlotDriver::finishRow() {
    --rowCounter_;
    if (rowCounter_ >= 0) return false;
    rearm();
    levelSetTablesValid_ = false;
    return true;
}

PlotDriver requestedPlot(const RenderRequest& request) {
    FractalCatalog catalog;
    catalog[request.type] = request.params;
    PlotDriver driver(request.width, request.height);
    driver.loadRecord(catalog, request.type);
    driver.computeGeometry(request.aspectFactor);
    return driver;
}

PlotDriver startedPlot(const RenderRequest& request, const LevelSetTables* levelSets) {
    PlotDriver driver = requestedPlot(request);
    if (driver.beginTrueColor(request.flags.trueColorMode)) driver.useLevelSets(levelSets);
    driver.startKernels();
    return driver;
}

void renderImage(const RenderRequest& request, VirtualScreen& screen, const PaletteState& palette,
                 std::uint8_t* indicesOut, const LevelSetTables* levelSets) {
    screen.clear();
    PlotDriver driver = startedPlot(request, levelSets);
    do {
        std::uint8_t* rowOut =
            indicesOut == nullptr ? nullptr : indicesOut + static_cast<std::size_t>(driver.nextRow()) * request.width;
        driver.computeRow(screen, palette, request.flags, rowOut);
    } while (!driver.finishRow());
}

}  // namespace fernwise
