#include "row_engine.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "coloring.h"
#include "kernels_inline.h"

namespace fernwise {
namespace {

enum PointFlag : std::uint8_t {
    // The speculative result ended at the iteration limit, so it may differ
    // from the result after an outside point.
    mayDependOnCarried = 1,
    // The point left lastPointInside set.
    leftInside = 2,
};

bool isJuliaOrMandelbrot(FractalType type) { return type == FractalType::Julia || type == FractalType::Mandelbrot; }

// The vector loop of a type, or none: Sine calls sin, cos, sinh and cosh on
// every pass and Tile Julia runs a whole Julia orbit per pass; both stay on
// the scalar kernels (and still use every core).
bool vectorLoopFor(FractalType type, SimdLoop& loop) {
    switch (type) {
        case FractalType::Julia: loop = SimdLoop::Julia; return true;
        case FractalType::Mandelbrot: loop = SimdLoop::Mandelbrot; return true;
        case FractalType::MagnetismIQ: loop = SimdLoop::MagnetismIQ; return true;
        case FractalType::MagnetismIZ: loop = SimdLoop::MagnetismIZ; return true;
        case FractalType::MagnetismIIQ: loop = SimdLoop::MagnetismIIQ; return true;
        case FractalType::MagnetismIIZ: loop = SimdLoop::MagnetismIIZ; return true;
        case FractalType::Newton: loop = SimdLoop::Newton; return true;
        case FractalType::SelfSquaredDragons: loop = SimdLoop::SelfSquaredDragons; return true;
        case FractalType::VolterraLotka: loop = SimdLoop::VolterraLotka; return true;
        case FractalType::Sine:
        case FractalType::TileJulia: return false;
    }
    return false;
}

const SimdKernelSet* kernelSetFor(SimdLevel level) {
#if defined(FERNWISE_X86_SIMD)
    switch (level) {
        case SimdLevel::Avx512: return avx512KernelSet();
        case SimdLevel::Avx2: return avx2KernelSet();
        case SimdLevel::Scalar: return nullptr;
    }
#else
    (void)level;
#endif
    return nullptr;
}

// seedPoint without the mapping, for a whole row, in a loop the compiler
// can widen (the arrays never overlap).
void seedPlainRow(const double* __restrict columnX, std::size_t width, double y, double* __restrict x,
                  double* __restrict ys, double* __restrict magnitude) {
    const double yy = y * y;
    for (std::size_t i = 0; i < width; ++i) {
        x[i] = columnX[i];
        ys[i] = y;
        magnitude[i] = columnX[i] * columnX[i] + yy;
    }
}

// The vector loops' boundary takes plain function pointers only.
bool stopRequested(const void* context) { return static_cast<const std::stop_token*>(context)->stop_requested(); }

}  // namespace

RowPlot rowPlotFrom(const PlotDriver& driver, const PlotFlags& flags) {
    RowPlot plot;
    plot.kernel = driver.kernel;
    plot.kernel.periodicityChecking = flags.periodicityChecking;
    plot.kernel.specialColoring = flags.specialColoring;
    plot.width = driver.imageWidth();
    plot.height = driver.imageHeight();
    plot.xmin = driver.kernel.params.xmin;
    plot.plotSpanX = driver.plotSpanX();
    plot.ymax = driver.kernel.params.ymax;
    plot.plotSpanY = driver.plotSpanY();
    plot.iterationScale = driver.iterationScale();
    plot.trueColorMode = flags.trueColorMode;
    plot.levelSetTablesValid = driver.levelSetTablesValid();
    plot.levelSets = driver.levelSets();
    // The per-plot values are built by the plot's first point. Later rows of
    // a plot find them in the driver, where the first row left them.
    if (driver.nextRow() == 0) {
        if (plot.kernel.type == FractalType::Newton)
            kernels::buildNewtonTables(plot.kernel.newton, plot.kernel.params.param1);
        if (plot.kernel.type == FractalType::VolterraLotka) plot.kernel.halfStep = 0.5 * plot.kernel.params.param1;
    }
    return plot;
}

RowEngine::RowEngine(RowPlot plot, SimdLevel level) : plot_(std::move(plot)), level_(supportedSimdLevel(level)) {
    const KernelState& k = plot_.kernel;
    const FractalParams& p = k.params;
    speculative_ = isJuliaOrMandelbrot(k.type) && k.periodicityChecking;
    SimdLoop loop{};
    // Newton tables that were never built (degree 0) stay with the scalar kernel.
    if (vectorLoopFor(k.type, loop) && (k.type != FractalType::Newton || k.newton.degree >= 1)) {
        vectorSet_ = kernelSetFor(level_);
    }
    constants_.loop = loop;
    constants_.iterations = p.iterations;
    constants_.sizeLimit = p.sizeLimit;
    constants_.param1 = p.param1;
    constants_.param2 = p.param2;
    constants_.minMagnitudeSeed = static_cast<double>(plot_.iterationScale);
    constants_.periodicityCheck = speculative_;
    constants_.tolerance = k.periodicity.tolerance;
    constants_.trackBof = kernels::tracksBof(p);
    constants_.trackMaxMag = p.insideColoring == InsideColoring::ZMag;
    constants_.newtonDegree = k.newton.degree;
    constants_.newtonShrink = k.newton.shrink;
    constants_.newtonInvDegree = k.newton.invDegree;
    constants_.halfStep = k.halfStep;
    // The most common colouring (level sets outside, a solid colour inside,
    // no 24-bit blending) of kernels that never fix an index themselves
    // needs only the count and the magnitude.
    plainColoring_ = vectorSet_ != nullptr && !plot_.trueColorMode && p.outsideColoring == OutsideColoring::Standard &&
                     p.insideColoring == InsideColoring::Solid &&
                     (isJuliaOrMandelbrot(k.type) || k.type == FractalType::SelfSquaredDragons ||
                      k.type == FractalType::VolterraLotka);
    constants_.countsOnly = plainColoring_;
    constants_.rowWidth = plot_.width > 0 ? plot_.width : 1;
    // At the end of a run of the vector loop, lanes idle while the last
    // orbits finish, for up to the iteration limit. Where that is long, runs
    // over several rows keep the lanes busy across the rows' ends; elsewhere
    // the larger buffers of a longer run cost more than they save (measured
    // on the 1600 x 1200 benchmark images: 256 iterations 6 % slower in runs
    // of four rows, 4096 iterations 3 % faster).
    constexpr int deepIterations = 1024;
    constexpr int pointsPerRun = 8192;
    if (vectorSet_ != nullptr && plot_.width > 0 && p.iterations >= deepIterations)
        rowsPerRun_ = std::clamp(pointsPerRun / plot_.width, 1, maxRowsPerRun);
    columnX_.resize(static_cast<std::size_t>(plot_.width > 0 ? plot_.width : 0));
    for (int i = 0; i < plot_.width; ++i) {
        columnX_[static_cast<std::size_t>(i)] = columnValue(plot_.xmin, plot_.plotSpanX, i, plot_.width);
    }
}

PointSeed RowEngine::seedPoint(int column, double y) const {
    // The driver's per-pixel preparation: the point, its magnitude before
    // the mapping, then the mapping.
    double x = columnX_[static_cast<std::size_t>(column)];
    PointSeed seed;
    seed.magnitude = x * x + y * y;
    if (plot_.kernel.params.mappingMode == MappingMode::Inversion) invertPoint(x, y, 1.0);
    seed.x = x;
    seed.y = y;
    return seed;
}

PointOutcome RowEngine::scalarPoint(KernelState& s, const PointSeed& seed, int column, int row, bool lastInside) const {
    resetForPoint(s, seed.magnitude, static_cast<double>(plot_.iterationScale));
    s.periodicity.lastPointInside = lastInside;
    double x = seed.x;
    double y = seed.y;
    PointOutcome r;
    r.n = kernels::iterateInline(s, x, y, column, row);
    r.x = x;
    r.y = y;
    r.point = s.point;
    r.basin = s.newton.basinIndex;
    return r;
}

// The endings that follow each kernel's loop, applied to a lane's outcome in
// the order and with the arithmetic of engine/kernels_inline.h.
inline PointOutcome RowEngine::fromOutcome(const SimdOutcomes& o, std::size_t i) const {
    const KernelState& k = plot_.kernel;
    const FractalParams& p = k.params;
    PointOutcome r;
    r.x = o.x[i];
    r.y = o.y[i];
    r.n = static_cast<std::int32_t>(o.count[i]);
    r.point.magnitude = k.type == FractalType::Newton ? 0.0 : o.magnitude[i];
    r.point.minMagnitude = o.minMagnitude[i];
    r.point.minIteration = static_cast<std::int32_t>(o.minIteration[i]);
    r.point.colorDecided = false;
    r.basin = k.newton.basinIndex;
    switch (k.type) {
        case FractalType::MagnetismIQ:
        case FractalType::MagnetismIZ:
        case FractalType::MagnetismIIQ:
        case FractalType::MagnetismIIZ: {
            const bool second = k.type == FractalType::MagnetismIIQ || k.type == FractalType::MagnetismIIZ;
            r.n = kernels::magnetismEnding(r.point, p, second, k.type == FractalType::MagnetismIIQ, k.specialColoring,
                                           r.n, o.distToOne[i], o.maxMag[i]);
            break;
        }
        case FractalType::Newton:
            r.n = kernels::newtonEnding(k.newton, p, k.specialColoring, o.converged[i] != 0.0, r.n, r.x, r.y, r.point,
                                        r.basin);
            break;
        case FractalType::VolterraLotka: kernels::volterraLotkaEnding(r.point, p); break;
        default: break;
    }
    return r;
}

// colorPoint's steps for that colouring: outside, the count modulo 256, raised
// to 1 when the count is above 1; inside, the inside colour. Counts are never
// negative, so the remainder is the low byte; written without branches so
// that the loop is widened.
void RowEngine::plainIndices(const double* counts, const double* magnitudes, std::size_t n,
                             std::uint8_t* indices) const {
    const FractalParams& p = plot_.kernel.params;
    const double sizeLimit = p.sizeLimit;
    const auto inside = static_cast<std::uint8_t>(p.insideColor);
    for (std::size_t i = 0; i < n; ++i) {
        const auto a = static_cast<std::int32_t>(counts[i]);
        const std::int32_t low = a & 255;
        const std::int32_t index = (a > 1 && low == 0) ? 1 : low;
        indices[i] = magnitudes[i] > sizeLimit ? static_cast<std::uint8_t>(index) : inside;
    }
}

ColoringContext RowEngine::coloringContext(int row) const {
    return {plot_.height - 1 - row, plot_.iterationScale, plot_.trueColorMode, plot_.levelSetTablesValid,
            plot_.levelSets};
}

void RowEngine::color(KernelState& s, const ColoringContext& context, const PointOutcome& r, int column,
                      RowResult& result) const {
    s.point = r.point;
    s.newton.basinIndex = r.basin;
    double fraction = 0.0;
    bool blend = false;
    const std::int32_t index = colorPoint(s, context, r.n, r.x, r.y, column, fraction, blend);
    const auto i = static_cast<std::size_t>(column);
    result.indices[i] = static_cast<std::uint8_t>(index);
    if (plot_.trueColorMode) {
        result.fractions[i] = fraction;
        result.blends[i] = blend ? 1 : 0;
    }
    if (r.point.colorDecided) {
        result.decidedInRow = true;
        result.lastPoint.decidedIndex = r.point.decidedIndex;
        result.lastPoint.decidedValue = r.point.decidedValue;
    }
    if (column == plot_.width - 1) {
        result.lastPoint.magnitude = s.point.magnitude;
        result.lastPoint.minMagnitude = s.point.minMagnitude;
        result.lastPoint.minIteration = s.point.minIteration;
        result.lastPoint.colorDecided = s.point.colorDecided;
        result.lastBasin = r.basin;
    }
}

// The periodicity record after the row's last point. Only a Julia or
// Mandelbrot point that followed an inside point with the check on changes
// more than lastPointInside; that point is run once more on the scalar kernel
// to read it.
PeriodicityState RowEngine::periodicityAfter(const RowResult& result, double y) const {
    PeriodicityState after = plot_.kernel.periodicity;
    after.lastPointInside = result.carriedOut;
    if (!plot_.kernel.periodicityChecking) return after;
    after.restartCheck();
    if (!speculative_) return after;
    const int last = plot_.width - 1;
    const bool lastIn =
        last == 0 ? result.carriedIn : (result.pointFlags[static_cast<std::size_t>(last - 1)] & leftInside) != 0;
    if (!lastIn) return after;
    KernelState s = plot_.kernel;
    scalarPoint(s, seedPoint(last, y), last, result.row, true);
    return s.periodicity;
}

// The kernels' results of one or more rows, before the walk and the colouring.
struct RowEngine::KernelRun {
    KernelState state;  // the scalar kernels' state, shared by the first run and the walk's reruns
    SimdSeeds seeds{};  // padded arrays in the scratch
    bool vector = false;
    SimdOutcomes outcomes{};         // when vector
    PointOutcome* points = nullptr;  // when not

    std::int32_t count(std::size_t i) const {
        return vector ? static_cast<std::int32_t>(outcomes.count[i]) : points[i].n;
    }
    PointSeed seed(std::size_t i) const { return {seeds.x[i], seeds.y[i], seeds.magnitude[i]}; }

    // The same results seen from the point `first` on (a later row's first point).
    KernelRun from(std::size_t first) const {
        KernelRun part = *this;
        part.seeds = {seeds.x + first, seeds.y + first, seeds.magnitude + first};
        if (vector) {
            for (double* SimdOutcomes::*array :
                 {&SimdOutcomes::x, &SimdOutcomes::y, &SimdOutcomes::magnitude, &SimdOutcomes::minMagnitude,
                  &SimdOutcomes::count, &SimdOutcomes::minIteration, &SimdOutcomes::distToOne, &SimdOutcomes::maxMag,
                  &SimdOutcomes::converged}) {
                part.outcomes.*array += first;
            }
        } else {
            part.points += first;
        }
        return part;
    }
};

bool RowEngine::computeRow(int row, bool carriedIn, RowResult& result, RowScratch& scratch) const {
    return computeRow(
        row, [carriedIn] { return carriedIn; }, result, scratch);
}

bool RowEngine::computeRow(int row, const std::function<bool()>& carriedIn, RowResult& result, RowScratch& scratch,
                           const std::stop_token& stop) const {
    RowResult* const results[] = {&result};
    return computeRows(row, 1, carriedIn, results, scratch, stop);
}

bool RowEngine::computeRows(int first, int count, const std::function<bool()>& carriedIn, RowResult* const* results,
                            RowScratch& scratch, const std::stop_token& stop) const {
    KernelRun run{plot_.kernel};
    run.seeds = seedRows(first, count, scratch);
    if (!runKernels(first, count, run, scratch, stop) || stop.stop_requested()) return false;
    for (int i = 0; i < count; ++i) {
        const int row = first + i;
        RowResult& result = *results[i];
        KernelRun part = run.from(static_cast<std::size_t>(i) * static_cast<std::size_t>(plot_.width));
        startResult(row, result);
        walkCarried(row, i == 0 ? carriedIn() : results[i - 1]->carriedOut, part, result, scratch);
        colorRow(row, part, result, scratch);
        result.periodicityAfter = periodicityAfter(result, rowValue(plot_.ymax, plot_.plotSpanY, row, plot_.height));
    }
    return true;
}

void RowEngine::startResult(int row, RowResult& result) const {
    const auto count = static_cast<std::size_t>(plot_.width);
    result.row = row;
    result.indices.assign(count, 0);
    result.fractions.assign(plot_.trueColorMode ? count : 0, 0.0);
    result.blends.assign(plot_.trueColorMode ? count : 0, 0);
    result.pointFlags.assign(speculative_ ? count : 0, 0);
    result.decidedInRow = false;
    result.lastPoint = PointState{};  // a reused result keeps nothing of its last row
    result.lastBasin = noBasin;
}

// Every point of rows first .. first + count - 1, one row after the other,
// as the driver prepares them, padded for the vector loops.
SimdSeeds RowEngine::seedRows(int first, int count, RowScratch& scratch) const {
    const auto width = static_cast<std::size_t>(plot_.width);
    const std::size_t points = width * static_cast<std::size_t>(count);
    const auto padded = static_cast<std::size_t>(simdPaddedCount(static_cast<int>(points)));
    scratch.seeds.resize(3 * padded);
    double* seedX = scratch.seeds.data();
    double* seedY = seedX + padded;
    double* seedMagnitude = seedY + padded;
    for (int r = 0; r < count; ++r) {
        const double y = rowValue(plot_.ymax, plot_.plotSpanY, first + r, plot_.height);
        const std::size_t at = static_cast<std::size_t>(r) * width;
        if (plot_.kernel.params.mappingMode == MappingMode::Inversion) {
            for (std::size_t i = 0; i < width; ++i) {
                const PointSeed seed = seedPoint(static_cast<int>(i), y);
                seedX[at + i] = seed.x;
                seedY[at + i] = seed.y;
                seedMagnitude[at + i] = seed.magnitude;
            }
        } else {
            seedPlainRow(columnX_.data(), width, y, seedX + at, seedY + at, seedMagnitude + at);
        }
    }
    for (std::size_t i = points; i < padded; ++i) {
        seedX[i] = 0.0;
        seedY[i] = 0.0;
        seedMagnitude[i] = HUGE_VAL;
    }
    return {seedX, seedY, seedMagnitude};
}

// The kernels over the rows: speculative (as after an inside point) where the
// result may depend on the carried value. False when `stop` was raised.
bool RowEngine::runKernels(int first, int count, KernelRun& run, RowScratch& scratch,
                           const std::stop_token& stop) const {
    const int width = plot_.width;
    const int points = width * count;
    run.vector = vectorSet_ != nullptr;
    if (run.vector) {
        const auto padded = static_cast<std::size_t>(simdPaddedCount(points));
        scratch.outcomes.resize(9 * padded + static_cast<std::size_t>(simdWorkCount(points)));
        double* o = scratch.outcomes.data();
        run.outcomes = {o,
                        o + padded,
                        o + 2 * padded,
                        o + 3 * padded,
                        o + 4 * padded,
                        o + 5 * padded,
                        o + 6 * padded,
                        o + 7 * padded,
                        o + 8 * padded,
                        o + 9 * padded};
        const SimdStop simdStop{stop.stop_possible() ? &stopRequested : nullptr, &stop};
        return vectorSet_->run(constants_, run.seeds, run.outcomes, points, simdStop);
    }
    scratch.points.resize(static_cast<std::size_t>(points));
    run.points = scratch.points.data();
    for (int r = 0; r < count; ++r) {
        for (int i = 0; i < width; ++i) {
            if (stop.stop_requested()) return false;
            const auto at = static_cast<std::size_t>(r) * static_cast<std::size_t>(width) + static_cast<std::size_t>(i);
            run.points[at] = scalarPoint(run.state, run.seed(at), i, first + r, true);
        }
    }
    return true;
}

// The walk in plotting order with the carried value. Points the walk
// recomputes are kept aside in the scratch, in column order.
void RowEngine::walkCarried(int row, bool carriedIn, KernelRun& run, RowResult& result, RowScratch& scratch) const {
    const auto count = static_cast<std::size_t>(plot_.width);
    const std::int32_t iterations = plot_.kernel.params.iterations;
    std::vector<std::pair<std::size_t, PointOutcome>>& redone = scratch.redone;
    redone.clear();
    bool inside = carriedIn;
    result.carriedIn = inside;
    if (speculative_) {
        for (std::size_t i = 0; i < count; ++i) {
            std::int32_t n = run.count(i);
            if (n == iterations) {
                result.pointFlags[i] = mayDependOnCarried;
                if (!inside) {
                    redone.emplace_back(i, scalarPoint(run.state, run.seed(i), static_cast<int>(i), row, false));
                    n = redone.back().second.n;
                }
            }
            inside = n == iterations;
            if (inside) result.pointFlags[i] |= leftInside;
        }
    } else if (isJuliaOrMandelbrot(plot_.kernel.type)) {
        // The Julia and Mandelbrot results are the loops' counts.
        inside = run.count(count - 1) == iterations;
    }
    result.carriedOut = inside;
}

// The colouring step of every point, the walk's recomputed points in place of
// the first run's.
void RowEngine::colorRow(int row, const KernelRun& run, RowResult& result, const RowScratch& scratch) const {
    const auto count = static_cast<std::size_t>(plot_.width);
    const std::vector<std::pair<std::size_t, PointOutcome>>& redone = scratch.redone;
    KernelState coloring = plot_.kernel;
    const ColoringContext context = coloringContext(row);
    const std::size_t last = count - 1;
    if (run.vector && plainColoring_) {
        // No point of this colouring fixes its index or changes what the
        // next one sees, so the loop's counts are coloured all at once;
        // recomputed points and the last one (whose state the row leaves)
        // then take the full colouring step.
        plainIndices(run.outcomes.count, run.outcomes.magnitude, count, result.indices.data());
        bool lastRedone = false;
        for (const auto& [i, r] : redone) {
            color(coloring, context, r, static_cast<int>(i), result);
            lastRedone = i == last;
        }
        if (!lastRedone) color(coloring, context, fromOutcome(run.outcomes, last), static_cast<int>(last), result);
        return;
    }
    std::size_t nextRedone = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const int column = static_cast<int>(i);
        if (nextRedone < redone.size() && redone[nextRedone].first == i) {
            color(coloring, context, redone[nextRedone++].second, column, result);
        } else if (run.vector) {
            color(coloring, context, fromOutcome(run.outcomes, i), column, result);
        } else {
            color(coloring, context, run.points[i], column, result);
        }
    }
}

void RowEngine::settleRow(RowResult& result, bool carriedIn) const {
    if (carriedIn == result.carriedIn) return;
    const bool assumed = result.carriedIn;
    result.carriedIn = carriedIn;
    if (!isJuliaOrMandelbrot(plot_.kernel.type)) {
        // Other kernels pass the value through untouched.
        result.carriedOut = carriedIn;
        result.periodicityAfter.lastPointInside = carriedIn;
        return;
    }
    const double y = rowValue(plot_.ymax, plot_.plotSpanY, result.row, plot_.height);
    if (!speculative_) {
        // Without the check the value changes no result.
        return;
    }
    const std::int32_t iterations = plot_.kernel.params.iterations;
    const int width = plot_.width;
    KernelState s = plot_.kernel;
    KernelState coloring = plot_.kernel;
    const ColoringContext context = coloringContext(result.row);
    bool inside = carriedIn;
    bool previous = assumed;  // the value the point was computed after
    int i = 0;
    for (; i < width && inside != previous; ++i) {
        std::uint8_t& flags = result.pointFlags[static_cast<std::size_t>(i)];
        previous = (flags & leftInside) != 0;
        if ((flags & mayDependOnCarried) == 0) {
            // The check did not fire: the same result after either value,
            // and it leaves lastPointInside cleared as before.
            inside = false;
            continue;
        }
        const PointOutcome r = scalarPoint(s, seedPoint(i, y), i, result.row, inside);
        color(coloring, context, r, i, result);
        inside = r.n == iterations;
        flags = static_cast<std::uint8_t>(mayDependOnCarried | (inside ? leftInside : 0));
    }
    if (i == width) result.carriedOut = inside;
    // The last point saw another carried value when the walk reached it.
    if (i == width) result.periodicityAfter = periodicityAfter(result, y);
}

void RowEngine::applyKernelState(const RowResult& result, KernelState& kernel) const {
    kernel.periodicityChecking = plot_.kernel.periodicityChecking;
    kernel.specialColoring = plot_.kernel.specialColoring;
    const std::int32_t decidedIndex = kernel.point.decidedIndex;
    const double decidedValue = kernel.point.decidedValue;
    kernel.point = result.lastPoint;
    if (!result.decidedInRow) {
        // Scratch that only a deciding kernel writes keeps its older value.
        kernel.point.decidedIndex = decidedIndex;
        kernel.point.decidedValue = decidedValue;
    }
    kernel.periodicity = result.periodicityAfter;
    if (plot_.kernel.type == FractalType::Newton) {
        kernel.newton = plot_.kernel.newton;
        kernel.newton.basinIndex = result.lastBasin;
    }
    if (plot_.kernel.type == FractalType::VolterraLotka) kernel.halfStep = plot_.kernel.halfStep;
}

}  // namespace fernwise
