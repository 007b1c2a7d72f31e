#pragma once

#include <array>
#include <cstdint>

#include "coloring.h"
#include "fractal_types.h"
#include "kernels.h"
#include "level_set_tables.h"
#include "palette.h"
#include "virtual_screen.h"

namespace fernwise {

// The program-wide switches a plot reads.
struct PlotFlags {
    bool paletteDevice = false;
    bool trueColorMode = false;
    bool periodicityChecking = true;
    bool specialColoring = false;
};

// The plot driver's state and the core steps of a plot. The desktop program
// runs one row per main-loop pass and puts its own steps (history, level-set
// pass, status bar, clearing the window) between the start steps below, in
// this order: loadRecord, history, computeGeometry, beginTrueColor and the
// level-set pass, status bar, clearing, startKernels.
class PlotDriver {
public:
    explicit PlotDriver(int imageWidth = 640, int imageHeight = 480);

    // A new image size rearms the driver.
    void setImageSize(int width, int height);
    int imageWidth() const { return imageWidth_; }
    int imageHeight() const { return imageHeight_; }

    // The next row then starts a new plot instead of continuing one.
    void rearm() {
        rowCounter_ = imageHeight_ - 1;
        started_ = false;
    }
    // From a rearm until startKernels ends the plot start. A driver whose
    // rows come from other threads may wait several passes for its first
    // row; it must not start the plot over meanwhile.
    bool atPlotStart() const { return rowCounter_ == imageHeight_ - 1 && !started_; }
    // The image row the next computeRow draws.
    int nextRow() const { return imageHeight_ - 1 - rowCounter_; }

    // The plot's working copy of the selected type's record.
    void loadRecord(const FractalCatalog& catalog, FractalType type);
    // The plot's spans, adjusted edges and iteration scale, from the record and
    // the window's aspect factor.
    void computeGeometry(double aspectFactor);
    // Before the level-set pass: true when 24-bit level-set
    // colouring applies, which then marks the tables usable and holds this
    // plot's size limit at 256.
    bool beginTrueColor(bool trueColorMode);
    // Last before the first row: the periodicity tolerance of this window
    // and no point inside yet.
    void startKernels();

    // Computes row nextRow() into the screen. `indicesOut`, when given,
    // receives the palette index of every pixel as the colouring gave it.
    void computeRow(VirtualScreen& screen, const PaletteState& palette, const PlotFlags& flags,
                    std::uint8_t* indicesOut = nullptr);
    // After a row: true when that was the last one, and the driver is then
    // rearmed with its tables marked unusable.
    bool finishRow();

    // The level-set preparation's choice for this plot: the tables that
    // serve it (nullptr: none, fraction 0), or none usable at all.
    void useLevelSets(const LevelSetTables* tables) { levelSets_ = tables; }
    void dropLevelSetTables() { levelSetTablesValid_ = false; }

    // The plot's state, as the steps above leave it.
    std::int32_t rowCounter() const { return rowCounter_; }
    double aspectFactor() const { return aspectFactor_; }
    double plotSpanX() const { return plotSpanX_; }
    double plotSpanY() const { return plotSpanY_; }
    double adjustedXmax() const { return adjustedXmax_; }
    double adjustedYmin() const { return adjustedYmin_; }
    std::int32_t iterationScale() const { return iterationScale_; }
    bool levelSetTablesValid() const { return levelSetTablesValid_; }
    const LevelSetTables* levelSets() const { return levelSets_; }

    // The kernels' state. Whoever computes the driver's rows writes it:
    // computeRow, a RowPipeline's drawNextRow, and the level-set pass, whose
    // points run on the state the plot before them left.
    KernelState kernel;

private:
    int imageWidth_;
    int imageHeight_;
    bool started_ = false;
    std::int32_t rowCounter_ = 0;
    double aspectFactor_ = 1.0;
    double plotSpanX_ = 0.0;
    double plotSpanY_ = 0.0;
    double adjustedXmax_ = 0.0;
    double adjustedYmin_ = 0.0;
    std::int32_t iterationScale_ = 256;
    bool levelSetTablesValid_ = false;
    const LevelSetTables* levelSets_ = nullptr;
};

// The real-axis value of column i and the imaginary-axis value of row r.
// A one-pixel-wide (or -high) image sits at the window's left (top) edge.
double columnValue(double xmin, double plotSpanX, int column, int width);
double rowValue(double ymax, double plotSpanY, int row, int height);

// For every palette index, the index a palette-based display holds: itself
// below 236, the logical palette's entry nearest to its colour above.
std::array<std::uint8_t, paletteSize> nearestEntries(const PaletteState& palette);

// Entry `index` mixed with its successor (entry 1 after 255) by `fraction`,
// each component truncated toward zero.
Rgb blendedColor(const PaletteTable& table, std::int32_t index, double fraction);

// One whole image exactly as the desktop program's driver computes it, on
// the calling thread: what the batch renderer and the tests use.
struct RenderRequest {
    FractalType type = FractalType::Mandelbrot;
    FractalParams params = defaultParams(FractalType::Mandelbrot);
    int width = 640;
    int height = 480;
    double aspectFactor = 1.0;
    PlotFlags flags;
};

// A driver for `request` with its record and geometry loaded: the plot start
// up to the choice of 24-bit colouring.
PlotDriver requestedPlot(const RenderRequest& request);
// The whole plot start of `request` without a window: `levelSets` serves the
// plot when 24-bit level-set colouring applies.
PlotDriver startedPlot(const RenderRequest& request, const LevelSetTables* levelSets);

// Renders into `screen` (which must have the request's size) and, when given,
// the width x height raw indices.
void renderImage(const RenderRequest& request, VirtualScreen& screen, const PaletteState& palette,
                 std::uint8_t* indicesOut = nullptr, const LevelSetTables* levelSets = nullptr);

}  // namespace fernwise
