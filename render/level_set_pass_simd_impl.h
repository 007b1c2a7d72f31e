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

#include <cstdint>
#include <limits>

#include "level_set_pass_simd.h"

namespace fernwise::pass_impl {
namespace {

template <class V>
struct Lanes {
    using D = typename V::D;
    D x, y, mag, cx, cy;
    D stop;            // the pass at which each lane ends at the latest
    D matchAt, matchMagnitude;
    D repeatX, repeatY;  // the orbit value at pass repeatPass, for the exact repeat test
    std::int64_t pass = 0;
    std::int64_t repeatPass = 0;
    unsigned live = 0;
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

    alignas(64) double spill[3][W];
    auto emit = [&](Lanes<V>& q, unsigned lanes) {
        V::storeu(spill[0], q.mag);
        V::storeu(spill[1], q.matchAt);
        V::storeu(spill[2], q.matchMagnitude);
        for (int l = 0; l < W; ++l) {
            if (((lanes >> l) & 1u) == 0) continue;
            const int i = q.base + l;
            // An orbit that repeats exactly never escapes: it runs to the limit.
            out.count[i] = ((q.repeating >> l) & 1u) != 0 ? c.iterations : static_cast<double>(q.pass);
            out.magnitude[i] = spill[0][l];
            out.matchAt[i] = spill[1][l];
            out.matchMagnitude[i] = spill[2][l];
        }
    };
    auto start = [&](Lanes<V>& q) {
        while (nextBlock < blocks) {
            q.base = nextBlock++ * W;
            q.x = V::loadu(in.x + q.base);
            q.y = V::loadu(in.y + q.base);
            q.mag = V::loadu(in.magnitude + q.base);
            q.cx = Mandel ? q.x : juliaX;
            q.cy = Mandel ? q.y : juliaY;
            q.stop = iter;
            q.matchAt = zero;
            q.matchMagnitude = zero;
            q.repeatX = none;
            q.repeatY = none;
            q.pass = 0;
            q.repeatPass = 0;
            q.repeating = 0;
            q.live = V::bits(V::land(V::le(q.mag, limit), V::lt(zero, iter)));
            const unsigned idle = ~q.live & V::allLanes;
            if (idle != 0) emit(q, idle);
            if (q.live != 0) return;
        }
        q.live = 0;
    };

    Lanes<V> group[K];
    for (int g = 0; g < K; ++g) start(group[g]);
    alignas(64) double stops[W];
    for (;;) {
        bool any = false;
#pragma GCC unroll 4
        for (int g = 0; g < K; ++g) {
            Lanes<V>& q = group[g];
            if (q.live == 0) continue;
            any = true;
            const D x = q.x;
            const D y = q.y;
            const D nx = V::add(V::mul(V::add(x, y), V::sub(x, y)), q.cx);
            const D ny = V::add(V::mul(V::mul(two, x), y), q.cy);
            const D mag = V::add(V::mul(nx, nx), V::mul(ny, ny));
            ++q.pass;
            const D pass = V::set1(static_cast<double>(q.pass));
            if constexpr (Match) {
                const auto near = V::land(V::lt(V::abs(V::sub(savedX, nx)), tol), V::lt(V::abs(V::sub(savedY, ny)), tol));
                const auto first = V::land(near, V::eq(q.matchAt, zero));
                q.matchAt = V::select(first, pass, q.matchAt);
                q.matchMagnitude = V::select(first, mag, q.matchMagnitude);
            }
            const unsigned repeat = V::bits(V::land(V::eq(nx, q.repeatX), V::eq(ny, q.repeatY))) & q.live & ~q.repeating;
            if (repeat != 0) {
                // From here the orbit cycles through values already seen:
                // end the lane where its value is that of the last pass.
                const std::int64_t period = q.pass - q.repeatPass;
                const auto end = static_cast<double>(q.pass + (iterations - q.pass) % period);
                V::storeu(stops, q.stop);
                for (int l = 0; l < W; ++l) {
                    if (((repeat >> l) & 1u) != 0) stops[l] = end;
                }
                q.stop = V::loadu(stops);
                q.repeating |= repeat;
            }
            if ((q.pass & (q.pass - 1)) == 0) {
                q.repeatX = nx;
                q.repeatY = ny;
                q.repeatPass = q.pass;
            }
            q.x = nx;
            q.y = ny;
            q.mag = mag;
            const unsigned go = V::bits(V::land(V::le(mag, limit), V::lt(pass, q.stop)));
            const unsigned done = q.live & ~go;
            if (done != 0) {
                emit(q, done);
                q.live &= go;
                if (q.live == 0) start(q);
            }
        }
        if (!any) return;
    }
}

template <class V>
void runPassRow(const PassRowConstants& c, const PassRowSeeds& seeds, const PassRowRecords& records, int count) {
    constexpr int K = V::registers >= 32 ? 3 : 2;
    if (c.mandelbrot) {
        if (c.matchTest) return runRow<V, true, true, K>(c, seeds, records, count);
        return runRow<V, true, false, K>(c, seeds, records, count);
    }
    if (c.matchTest) return runRow<V, false, true, K>(c, seeds, records, count);
    return runRow<V, false, false, K>(c, seeds, records, count);
}

}  // namespace
}  // namespace fernwise::pass_impl
