#include "level_sets.h"

#include <algorithm>
#include <new>
#include <vector>

#include "kernels_inline.h"
#include "level_set_pass.h"

namespace fernwise {
namespace {

constexpr long double noValueLow = 10.0L;
constexpr long double noValueHigh = 0.0L;

// One zero-filled table of `entries` values, or false when the memory cannot
// be had (or the gate refuses it).
bool allocateTable(std::vector<long double>& table, std::size_t entries, AllocationGate* gate) {
    if (gate != nullptr && !gate->allow(entries * sizeof(long double))) return false;
    try {
        table.assign(entries, 0.0L);
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

void freeTable(std::vector<long double>& table) { std::vector<long double>().swap(table); }

// The window, limits and type the tables were built for; type, mapping mode
// and colouring choices do not change the sampled values.
bool sameWindow(const FractalParams& a, const FractalParams& b) {
    return a.xmin == b.xmin && a.xmax == b.xmax && a.ymin == b.ymin && a.ymax == b.ymax &&
           a.iterations == b.iterations && a.sizeLimit == b.sizeLimit;
}

bool tablesServe(const LevelSetState& state, FractalType type, const FractalParams& params) {
    if (!state.tablesBuilt || state.levelTablesType != type) return false;
    const FractalParams& built = state.levelTablesParams;
    if (type == FractalType::Julia && (params.param1 != built.param1 || params.param2 != built.param2)) return false;
    return sameWindow(params, built);
}

struct PassGeometry {
    int width;
    int height;
    double xmin;
    double ymin;
    double spanX;
    double spanY;
};

double sampleColumn(const PassGeometry& g, int i) { return columnValue(g.xmin, g.spanX, i, g.width); }
double sampleRow(const PassGeometry& g, int j) { return passRowValue(g.ymin, g.spanY, j, g.height); }

// Entries 0 .. iterations - 1 get the start values; the kernels never return
// a count above the iteration limit, so the iterations + 1 entries cover
// every count the pass can record.
void startTables(LevelSetTables& tables, const FractalParams& p) {
    const auto iterations = static_cast<std::size_t>(p.iterations > 0 ? p.iterations : 0);
    for (std::size_t n = 0; n < iterations && n < tables.entryCount(); ++n) {
        tables.levelLow[n] = noValueLow;
        tables.levelHigh[n] = noValueHigh;
    }
}

// The pass proper, instantiated per kernel. No per-point preparation is made:
// the kernel finds the periodicity state and magnitude the previous point
// left, exactly as the one-point-after-another definition has it.
template <typename Kernel>
bool samplePass(LevelSetTables& tables, KernelState& s, const PassGeometry& g, LevelSetPassObserver* observer,
                Kernel kernel) {
    const double sizeLimit = s.params.sizeLimit;
    long double* low = tables.levelLow.data();
    long double* high = tables.levelHigh.data();
    const std::size_t entries = std::min(tables.levelLow.size(), tables.levelHigh.size());
    return observedRows(g.height, observer, [&](int j) {
        const double yj = sampleRow(g, j);
        for (int i = 0; i < g.width; ++i) {
            double x = sampleColumn(g, i);
            double y = yj;
            s.point.magnitude = x * x + y * y;
            if (s.periodicity.checkInterval > longestCheckInterval) s.periodicity.checkInterval = longestCheckInterval;
            const std::int32_t n = kernel(s, x, y);
            const auto k = static_cast<std::size_t>(n);
            if (s.point.magnitude > sizeLimit && k < entries) {
                const long double t = potentialValue(n, s.point.magnitude);
                if (low[k] > t) low[k] = t;
                if (high[k] < t) high[k] = t;
            }
        }
    });
}

}  // namespace

void LevelSetState::release() {
    freeTable(tables.levelLow);
    freeTable(tables.levelHigh);
    levelTablesAllocated = false;
    tablesBuilt = false;
}

bool sampleLevelSets(LevelSetTables& tables, PlotDriver& driver, LevelSetPassObserver* observer,
                     const LevelSetPassOptions& options) {
    startTables(tables, driver.kernel.params);
    return runLevelSetPass(tables, driver, observer, options);
}

bool sampleLevelSetsSequential(LevelSetTables& tables, PlotDriver& driver, LevelSetPassObserver* observer) {
    KernelState& s = driver.kernel;
    const FractalParams& p = s.params;
    startTables(tables, p);
    const PassGeometry g{driver.imageWidth(), driver.imageHeight(), p.xmin, p.ymin,
                         driver.plotSpanX(),  driver.plotSpanY()};
    using namespace kernels;
    if (s.type == FractalType::Julia) {
        return samplePass(tables, s, g, observer, [](KernelState& k, double& x, double& y) { return julia(k, x, y); });
    }
    return samplePass(tables, s, g, observer, [](KernelState& k, double& x, double& y) { return mandelbrot(k, x, y); });
}

LevelSetPreparation prepareLevelSetTables(LevelSetState& state, PlotDriver& driver, const PlotFlags& flags,
                                          LevelSetPassObserver* observer, AllocationGate* gate,
                                          const LevelSetPassOptions& options) {
    const FractalType type = driver.kernel.type;
    const FractalParams& params = driver.kernel.params;
    driver.useLevelSets(nullptr);
    switch (type) {
        case FractalType::Julia:
        case FractalType::Mandelbrot: break;
        case FractalType::SelfSquaredDragons:
            // No tables are ever built for this type, and tables built for
            // another plot must not serve it: its pixels get fraction 0.
            return levelSetsPrepared;
        default: driver.dropLevelSetTables(); return levelSetsPrepared;
    }
    if (tablesServe(state, type, params)) {
        driver.useLevelSets(&state.tables);
        return levelSetsPrepared;
    }

    if (state.levelTablesAllocated) state.release();
    state.tablesBuilt = false;
    const auto entries = static_cast<std::size_t>(params.iterations > 0 ? params.iterations : 0) + 1;
    if (!allocateTable(state.tables.levelLow, entries, gate) || !allocateTable(state.tables.levelHigh, entries, gate)) {
        state.release();
        driver.dropLevelSetTables();
        if (observer != nullptr) observer->memoryProblem();
        return levelSetsPrepared;
    }
    state.levelTablesAllocated = true;

    if (observer != nullptr) observer->passStarted(driver.imageHeight());
    driver.kernel.periodicityChecking = flags.periodicityChecking;
    bool sampled = false;
    try {
        sampled = sampleLevelSets(state.tables, driver, observer, options);
    } catch (const std::bad_alloc&) {
        // The pass's own buffers are had before its threads start: no memory
        // for them is no memory for the tables, and the plot goes on without.
        if (observer != nullptr) observer->passEnded();
        state.release();
        driver.dropLevelSetTables();
        if (observer != nullptr) observer->memoryProblem();
        return levelSetsPrepared;
    }
    if (!sampled) return levelSetPassCancelled;

    state.tablesBuilt = true;
    state.levelTablesType = type;
    state.levelTablesParams = params;
    driver.useLevelSets(&state.tables);
    return levelSetsPrepared;
}

const LevelSetTables* buildLevelSetTables(const RenderRequest& request, LevelSetState& state,
                                          const LevelSetPassOptions& options) {
    PlotDriver driver = requestedPlot(request);
    if (!driver.beginTrueColor(request.flags.trueColorMode)) return nullptr;
    prepareLevelSetTables(state, driver, request.flags, nullptr, nullptr, options);
    return driver.levelSetTablesValid() ? driver.levelSets() : nullptr;
}

}  // namespace fernwise
