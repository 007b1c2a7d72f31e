#pragma once

// The level-set pass's row loop, written once over a small set of vector
// operations `V` and instantiated by each per-instruction-set unit with its
// own `V`. Everything lives in an anonymous namespace so that code built for
// wider instructions can never be merged into the rest of the program.
//
// It repeats the Julia / Mandelbrot step of engine/kernels_inline.h
// operation for operation (separate multiplies and adds, never fused), and
// the periodicity check's comparison exactly as the kernel writes it, so
// every lane gives what passRowScalar gives for its point.
//
// Each vector takes a block of neighbouring points that all start together,
// so the pass number is one scalar per vector. A lane whose point ends
// stores its record and idles until the block is done.

#include <algorithm>
#include <cstdint>
#include <limits>

#include "level_set_pass_simd.h"

namespace fernwise::pass_impl {
namespace {

// The per-lane values a block needs only when something rare happens: a
// first match, an exact repeat, the end of a point.
template <int W>
struct LaneRecords {
    double matchAt[W];
    double matchMagnitude[W];
    std::int64_t stopAt[W];       // the last pass of a repeating lane
    std::int64_t nextStop = 0;    // the earliest stopAt among live repeating lanes
    std::int64_t pass = 0;        // the pass every live lane has made
    std::int64_t repeatPass = 0;  // the pass whose value repeatX, repeatY hold
    unsigned live = 0;
    unsigned matched = 0;
    unsigned repeating = 0;  // lanes whose orbit was seen to repeat exactly
    int base = 0;
};

template <class V, bool Mandel, bool Match, int K>
void runRow(const PassRowConstants& c, const PassRowSeeds& in, const PassRowRecords& out, int count) {
    using D = typename V::D;
    constexpr int W = V::lanes;
    const D limit = V::set1(c.sizeLimit);
    const D iter = V::set1(c.iterations);
    const D zero = V::set1(0.0);
    const D two = V::set1(2.0);
    const D tol = V::set1(c.tolerance);
    const D savedX = V::set1(c.savedX);
    const D savedY = V::set1(c.savedY);
    const D juliaX = V::set1(c.cx);
    const D juliaY = V::set1(c.cy);
    const D none = V::set1(std::numeric_limits<double>::quiet_NaN());
    const auto iterations = static_cast<std::int64_t>(c.iterations);
    const int blocks = (count + W - 1) / W;
    int nextBlock = 0;

    // The hot state, one vector each per group, kept apart from the rare
    // per-lane records so that it can stay in registers.
    D x[K], y[K], mag[K], cx[K], cy[K], repeatX[K], repeatY[K];
    LaneRecords<W> r[K]{};
    alignas(64) double spill[W];

    auto emit = [&](int g, unsigned lanes) {
        V::storeu(spill, mag[g]);
        for (int l = 0; l < W; ++l) {
            if (((lanes >> l) & 1u) == 0) continue;
            const int i = r[g].base + l;
            // An orbit that repeats exactly never escapes: it runs to the limit.
            out.count[i] = ((r[g].repeating >> l) & 1u) != 0 ? c.iterations : static_cast<double>(r[g].pass);
            out.magnitude[i] = spill[l];
            const bool matched = ((r[g].matched >> l) & 1u) != 0;
            out.matchAt[i] = matched ? r[g].matchAt[l] : 0.0;
            out.matchMagnitude[i] = matched ? r[g].matchMagnitude[l] : 0.0;
        }
    };
    auto start = [&](int g) {
        while (nextBlock < blocks) {
            LaneRecords<W>& q = r[g];
            q.base = nextBlock++ * W;
            x[g] = V::loadu(in.x + q.base);
            y[g] = V::loadu(in.y + q.base);
            mag[g] = V::loadu(in.magnitude + q.base);
            cx[g] = Mandel ? x[g] : juliaX;
            cy[g] = Mandel ? y[g] : juliaY;
            repeatX[g] = none;
            repeatY[g] = none;
            q.pass = 0;
            q.nextStop = std::numeric_limits<std::int64_t>::max();
            q.repeatPass = 0;
            q.matched = 0;
            q.repeating = 0;
            q.live = V::bits(V::land(V::le(mag[g], limit), V::lt(zero, iter)));
            const unsigned idle = ~q.live & V::allLanes;
            if (idle != 0) emit(g, idle);
            if (q.live != 0) return;
        }
        r[g].live = 0;
    };
    // From a repeat on, the orbit cycles through values already seen: the
    // lane ends where its value is that of the last pass the loop would make.
    auto repeatSeen = [&](int g, unsigned lanes) {
        LaneRecords<W>& q = r[g];
        const std::int64_t period = q.pass - q.repeatPass;
        const std::int64_t end = q.pass + (iterations - q.pass) % period;
        for (int l = 0; l < W; ++l) {
            if (((lanes >> l) & 1u) != 0) q.stopAt[l] = end;
        }
        q.nextStop = std::min(q.nextStop, end);
        q.repeating |= lanes;
    };
    // The repeating lanes whose last pass this is.
    auto lanesEnding = [&](int g) {
        LaneRecords<W>& q = r[g];
        unsigned ending = 0;
        q.nextStop = std::numeric_limits<std::int64_t>::max();
        for (int l = 0; l < W; ++l) {
            if ((((q.repeating & q.live) >> l) & 1u) == 0) continue;
            if (q.stopAt[l] <= q.pass) {
                ending |= 1u << l;
            } else {
                q.nextStop = std::min(q.nextStop, q.stopAt[l]);
            }
        }
        return ending;
    };
    auto matchSeen = [&](int g, unsigned lanes, D m) {
        LaneRecords<W>& q = r[g];
        V::storeu(spill, m);
        for (int l = 0; l < W; ++l) {
            if (((lanes >> l) & 1u) == 0) continue;
            q.matchAt[l] = static_cast<double>(q.pass);
            q.matchMagnitude[l] = spill[l];
        }
        q.matched |= lanes;
    };

#pragma GCC unroll 4
    for (int g = 0; g < K; ++g) start(g);
    for (;;) {
        bool any = false;
#pragma GCC unroll 4
        for (int g = 0; g < K; ++g) {
            LaneRecords<W>& q = r[g];
            if (q.live == 0) continue;
            any = true;
            const D nx = V::add(V::mul(V::add(x[g], y[g]), V::sub(x[g], y[g])), cx[g]);
            const D ny = V::add(V::mul(V::mul(two, x[g]), y[g]), cy[g]);
            const D m = V::add(V::mul(nx, nx), V::mul(ny, ny));
            ++q.pass;
            if constexpr (Match) {
                const unsigned near =
                    V::bits(V::land(V::lt(V::abs(V::sub(savedX, nx)), tol), V::lt(V::abs(V::sub(savedY, ny)), tol)));
                const unsigned first = near & q.live & ~q.matched;
                if (first != 0) matchSeen(g, first, m);
            }
            const unsigned repeat =
                V::bits(V::land(V::eq(nx, repeatX[g]), V::eq(ny, repeatY[g]))) & q.live & ~q.repeating;
            if (repeat != 0) repeatSeen(g, repeat);
            if ((q.pass & (q.pass - 1)) == 0) {
                repeatX[g] = nx;
                repeatY[g] = ny;
                q.repeatPass = q.pass;
            }
            x[g] = nx;
            y[g] = ny;
            mag[g] = m;
            unsigned go = q.pass < iterations ? V::bits(V::le(m, limit)) : 0u;
            if (q.pass >= q.nextStop) go &= ~lanesEnding(g);
            const unsigned done = q.live & ~go;
            if (done != 0) {
                emit(g, done);
                q.live &= go;
                if (q.live == 0) start(g);
            }
        }
        if (!any) return;
    }
}

template <class V>
void runPassRow(const PassRowConstants& c, const PassRowSeeds& seeds, const PassRowRecords& records, int count) {
    // Three blocks side by side hide the latency of one pass; measured
    // best with both vector widths.
    constexpr int K = 3;
    if (c.mandelbrot) {
        if (c.matchTest) return runRow<V, true, true, K>(c, seeds, records, count);
        return runRow<V, true, false, K>(c, seeds, records, count);
    }
    if (c.matchTest) return runRow<V, false, true, K>(c, seeds, records, count);
    return runRow<V, false, false, K>(c, seeds, records, count);
}

}  // namespace
}  // namespace fernwise::pass_impl
