#pragma once

// The vector loops, written once over a small set of vector operations `V`
// and instantiated by each per-instruction-set translation unit with its own
// `V`. Everything here lives in an anonymous namespace, so each unit keeps
// its own copy: code built for wider instructions can never be merged into
// the rest of the program by the linker.
//
// Each loop repeats the arithmetic of its kernel in engine/kernels_inline.h
// operation for operation: the same operands, the same order, separate
// multiplies and adds (never fused), correctly rounded division and square
// root. Lanes are therefore bit-identical to the scalar kernels. Comparisons
// are the ordered ones, false for NaN, as the scalar comparisons are.
//
// Lanes are refilled as soon as their point ends, and several independent
// vectors run side by side so that one vector's additions wait on another's
// multiplications instead of on their own.

#include <cstdint>

#include "simd_kernels.h"

namespace fernwise::simd_impl {
namespace {

// One lane of a spilled group of state vectors: entry s of lane j sits at
// base[s * lanes + j].
template <class V>
struct Lane {
    double* base;
    int j;
    double& operator[](int s) const { return base[s * V::lanes + j]; }
};

template <class V>
struct Complex {
    typename V::D re;
    typename V::D im;
};

// (a + ib)(c + id) = (ac - bd) + i(ad + bc), as complexMultiply has it.
template <class V>
inline Complex<V> multiply(typename V::D a, typename V::D b, typename V::D c, typename V::D d) {
    return {V::sub(V::mul(a, c), V::mul(b, d)), V::add(V::mul(a, d), V::mul(b, c))};
}

// ---------------------------------------------------------------------------
// Julia and Mandelbrot, with optional BOF tracking and periodicity check.

template <class V, bool Mandel, bool Bof, bool Check>
struct JuliaLoop {
    using D = typename V::D;
    using M = typename V::M;
    static constexpr int X = 0, Y = 1, Mag = 2, N = 3;
    static constexpr int CX = 4, CY = 5;  // Mandelbrot only
    static constexpr int afterC = Mandel ? 6 : 4;
    static constexpr int MinMag = afterC, MinIt = afterC + 1;
    static constexpr int afterBof = afterC + (Bof ? 2 : 0);
    static constexpr int SX = afterBof, SY = afterBof + 1, Cnt = afterBof + 2, Intv = afterBof + 3;
    static constexpr int stateCount = afterBof + (Check ? 4 : 0);

    struct Consts {
        D limit, iter, one, two, cx, cy, tol;
        explicit Consts(const SimdPlotConstants& c)
            : limit(V::set1(c.sizeLimit)), iter(V::set1(c.iterations)), one(V::set1(1.0)), two(V::set1(2.0)),
              cx(V::set1(c.param1)), cy(V::set1(c.param2)), tol(V::set1(c.tolerance)) {}
    };

    static bool start(const SimdPlotConstants& c, const SimdSeed& seed, Lane<V> lane, SimdOutcome& out) {
        if (!(seed.magnitude <= c.sizeLimit && 0.0 < c.iterations)) {
            out = {seed.x, seed.y, seed.magnitude, c.minMagnitudeSeed, 0.0, 0.0, 0.0, 0.0, 0};
            return false;
        }
        lane[X] = seed.x;
        lane[Y] = seed.y;
        lane[Mag] = seed.magnitude;
        lane[N] = 0.0;
        if constexpr (Mandel) {
            lane[CX] = seed.x;
            lane[CY] = seed.y;
        }
        if constexpr (Bof) {
            lane[MinMag] = c.minMagnitudeSeed;
            lane[MinIt] = 0.0;
        }
        if constexpr (Check) {
            lane[SX] = 0.0;
            lane[SY] = 0.0;
            lane[Cnt] = 1.0;
            lane[Intv] = 3.0;
        }
        return true;
    }

    static void finish(const SimdPlotConstants& c, Lane<V> lane, SimdOutcome& out) {
        out = {lane[X], lane[Y], lane[Mag], Bof ? lane[MinMag] : c.minMagnitudeSeed, lane[N], Bof ? lane[MinIt] : 0.0,
               0.0, 0.0, 0};
    }

    static M pass(const Consts& k, D* s) {
        const D x = s[X];
        const D y = s[Y];
        const D cx = Mandel ? s[CX] : k.cx;
        const D cy = Mandel ? s[CY] : k.cy;
        const D nx = V::add(V::mul(V::add(x, y), V::sub(x, y)), cx);
        const D ny = V::add(V::mul(V::mul(k.two, x), y), cy);
        const D mag = V::add(V::mul(nx, nx), V::mul(ny, ny));
        D n = s[N];
        if constexpr (Bof) {
            const M lower = V::lt(mag, s[MinMag]);
            s[MinMag] = V::select(lower, mag, s[MinMag]);
            s[MinIt] = V::select(lower, n, s[MinIt]);
        }
        n = V::add(n, k.one);
        if constexpr (Check) {
            const M fired = V::land(V::lt(V::abs(V::sub(s[SX], nx)), k.tol), V::lt(V::abs(V::sub(s[SY], ny)), k.tol));
            n = V::select(fired, k.iter, n);
            const D count = V::add(s[Cnt], k.one);
            const M refresh = V::gt(count, s[Intv]);
            s[Intv] = V::select(refresh, V::add(V::mul(k.two, s[Intv]), k.one), s[Intv]);
            s[Cnt] = V::select(refresh, k.one, count);
            s[SX] = V::select(refresh, nx, s[SX]);
            s[SY] = V::select(refresh, ny, s[SY]);
        }
        s[X] = nx;
        s[Y] = ny;
        s[Mag] = mag;
        s[N] = n;
        return V::land(V::le(mag, k.limit), V::lt(n, k.iter));
    }
};

// ---------------------------------------------------------------------------
// The four Magnetism kernels.

template <class V, bool Second, bool ZPlane, bool Bof, bool ZMag>
struct MagnetismLoop {
    using D = typename V::D;
    using M = typename V::M;
    // In the Z plane the orbit starts at the point, so x, y always equal z;
    // in the Q plane they hold the point until the first update.
    static constexpr int ZX = 0, ZY = 1, Mag = 2, N = 3, Dist = 4;
    static constexpr int X = ZPlane ? ZX : 5, Y = ZPlane ? ZY : 6;
    static constexpr int afterXY = ZPlane ? 5 : 7;
    static constexpr int MaxMag = afterXY;
    static constexpr int afterMax = afterXY + (ZMag ? 1 : 0);
    static constexpr int MinMag = afterMax, MinIt = afterMax + 1;
    static constexpr int afterBof = afterMax + (Bof ? 2 : 0);
    // Per-point constants of the Q plane: q, and for Magnetism II a = q - 1,
    // b = q - 2 (their imaginary parts are q's) and P = a.b.
    static constexpr int QX = afterBof, QY = afterBof + 1, AX = afterBof + 2, BX = afterBof + 3, PRe = afterBof + 4,
                         PIm = afterBof + 5;
    static constexpr int stateCount = afterBof + (ZPlane ? 0 : (Second ? 6 : 2));

    struct Consts {
        D limit, iter, one, two, three, tiny, close, qx, qy, ax, bx, pre, pim;
        explicit Consts(const SimdPlotConstants& c)
            : limit(V::set1(c.sizeLimit)), iter(V::set1(c.iterations)), one(V::set1(1.0)), two(V::set1(2.0)),
              three(V::set1(3.0)), tiny(V::set1(1.1754943508222875e-38)), close(V::set1(1e-6)),
              qx(V::set1(c.param1)), qy(V::set1(c.param2)), ax(V::set1(c.param1 - 1.0)), bx(V::set1(c.param1 - 2.0)),
              pre(V::set1((c.param1 - 1.0) * (c.param1 - 2.0) - c.param2 * c.param2)),
              pim(V::set1((c.param1 - 1.0) * c.param2 + c.param2 * (c.param1 - 2.0))) {}
    };

    static bool start(const SimdPlotConstants& c, const SimdSeed& seed, Lane<V> lane, SimdOutcome& out) {
        if (!(seed.magnitude <= c.sizeLimit && 0.0 < c.iterations && seed.magnitude >= 1e-6)) {
            out = {seed.x, seed.y, seed.magnitude, c.minMagnitudeSeed, 0.0, 0.0, 1e-5, 1e-5, 0};
            return false;
        }
        if constexpr (ZPlane) {
            lane[ZX] = seed.x;
            lane[ZY] = seed.y;
        } else {
            lane[ZX] = 0.0;
            lane[ZY] = 0.0;
            lane[X] = seed.x;
            lane[Y] = seed.y;
            lane[QX] = seed.x;
            lane[QY] = seed.y;
            if constexpr (Second) {
                const double ax = seed.x - 1.0;
                const double ay = seed.y;
                const double bx = seed.x - 2.0;
                const double by = seed.y;
                lane[AX] = ax;
                lane[BX] = bx;
                lane[PRe] = ax * bx - ay * by;
                lane[PIm] = ax * by + ay * bx;
            }
        }
        lane[Mag] = seed.magnitude;
        lane[N] = 0.0;
        lane[Dist] = 1e-5;
        if constexpr (ZMag) lane[MaxMag] = 1e-5;
        if constexpr (Bof) {
            lane[MinMag] = c.minMagnitudeSeed;
            lane[MinIt] = 0.0;
        }
        return true;
    }

    static void finish(const SimdPlotConstants& c, Lane<V> lane, SimdOutcome& out) {
        out = {lane[X],
               lane[Y],
               lane[Mag],
               Bof ? lane[MinMag] : c.minMagnitudeSeed,
               lane[N],
               Bof ? lane[MinIt] : 0.0,
               lane[Dist],
               ZMag ? lane[MaxMag] : 1e-5,
               0};
    }

    static M pass(const Consts& k, D* s) {
        const D zx = s[ZX];
        const D zy = s[ZY];
        const D n = V::add(s[N], k.one);
        const Complex<V> z2 = multiply<V>(zx, zy, zx, zy);
        D numRe, numIm, denRe, denIm;
        if constexpr (Second) {
            const D qy = ZPlane ? k.qy : s[QY];
            const D ax = ZPlane ? k.ax : s[AX];
            const D bx = ZPlane ? k.bx : s[BX];
            const D pre = ZPlane ? k.pre : s[PRe];
            const D pim = ZPlane ? k.pim : s[PIm];
            const Complex<V> z3 = multiply<V>(z2.re, z2.im, zx, zy);
            const Complex<V> az = multiply<V>(ax, qy, zx, zy);
            numRe = V::add(V::add(z3.re, V::mul(k.three, az.re)), pre);
            numIm = V::add(V::add(z3.im, V::mul(k.three, az.im)), pim);
            const Complex<V> bz = multiply<V>(bx, qy, zx, zy);
            denRe = V::add(V::add(V::add(V::mul(k.three, z2.re), V::mul(k.three, bz.re)), pre), k.one);
            denIm = V::add(V::add(V::mul(k.three, z2.im), V::mul(k.three, bz.im)), pim);
        } else {
            const D qx = ZPlane ? k.qx : s[QX];
            const D qy = ZPlane ? k.qy : s[QY];
            numRe = V::sub(V::add(z2.re, qx), k.one);
            numIm = V::add(z2.im, qy);
            denRe = V::sub(V::add(V::mul(k.two, zx), qx), k.two);
            denIm = V::add(V::mul(k.two, zy), qy);
        }
        const D denNorm = V::add(V::mul(denRe, denRe), V::mul(denIm, denIm));
        const M tiny = V::lt(denNorm, k.tiny);
        Complex<V> w = multiply<V>(numRe, numIm, denRe, V::neg(denIm));
        w.re = V::div(w.re, denNorm);
        w.im = V::div(w.im, denNorm);
        const Complex<V> z = multiply<V>(w.re, w.im, w.re, w.im);
        const D mag = V::sqrt(V::add(V::mul(z.re, z.re), V::mul(z.im, z.im)));
        D minMag{}, minIt{}, maxMag{};
        if constexpr (Bof) {
            const M lower = V::lt(mag, s[MinMag]);
            minMag = V::select(lower, mag, s[MinMag]);
            minIt = V::select(lower, n, s[MinIt]);
        }
        if constexpr (ZMag) maxMag = V::select(V::gt(mag, s[MaxMag]), mag, s[MaxMag]);
        const D offOne = V::sub(z.re, k.one);
        const D dist = V::sqrt(V::add(V::mul(offOne, offOne), V::mul(z.im, z.im)));

        s[N] = n;
        if (V::bits(tiny) == 0) {
            s[ZX] = z.re;
            s[ZY] = z.im;
            if constexpr (!ZPlane) {
                s[X] = z.re;
                s[Y] = z.im;
            }
            s[Mag] = mag;
            s[Dist] = dist;
            if constexpr (ZMag) s[MaxMag] = maxMag;
            if constexpr (Bof) {
                s[MinMag] = minMag;
                s[MinIt] = minIt;
            }
        } else {
            // A lane whose denominator vanished ends this pass with its
            // values of the pass before.
            s[ZX] = V::select(tiny, s[ZX], z.re);
            s[ZY] = V::select(tiny, s[ZY], z.im);
            if constexpr (!ZPlane) {
                s[X] = V::select(tiny, s[X], z.re);
                s[Y] = V::select(tiny, s[Y], z.im);
            }
            s[Mag] = V::select(tiny, s[Mag], mag);
            s[Dist] = V::select(tiny, s[Dist], dist);
            if constexpr (ZMag) s[MaxMag] = V::select(tiny, s[MaxMag], maxMag);
            if constexpr (Bof) {
                s[MinMag] = V::select(tiny, s[MinMag], minMag);
                s[MinIt] = V::select(tiny, s[MinIt], minIt);
            }
        }
        const M go = V::land(V::land(V::le(s[Mag], k.limit), V::lt(n, k.iter)),
                             V::land(V::ge(s[Dist], k.close), V::ge(s[Mag], k.close)));
        return V::landNot(go, tiny);
    }
};

// ---------------------------------------------------------------------------
// Newton, roots of z^n - 1.

template <class V>
struct NewtonLoop {
    using D = typename V::D;
    using M = typename V::M;
    static constexpr int ZX = 0, ZY = 1, Count = 2, Conv = 3;
    static constexpr int stateCount = 4;

    struct Consts {
        D iter, one, shrink, invDegree, close, small;
        std::int32_t power;
        explicit Consts(const SimdPlotConstants& c)
            : iter(V::set1(c.iterations)), one(V::set1(1.0)), shrink(V::set1(c.newtonShrink)),
              invDegree(V::set1(c.newtonInvDegree)), close(V::set1(1e-6)), small(V::set1(1e-18)),
              power(c.newtonDegree - 1) {}
    };

    static bool start(const SimdPlotConstants& c, const SimdSeed& seed, Lane<V> lane, SimdOutcome& out) {
        if (!(0.0 < c.iterations)) {
            out = {seed.x, seed.y, seed.magnitude, c.minMagnitudeSeed, 1.0, 0.0, 0.0, 0.0, 0};
            return false;
        }
        lane[ZX] = seed.x;
        lane[ZY] = seed.y;
        lane[Count] = 0.0;
        lane[Conv] = 0.0;
        return true;
    }

    static void finish(const SimdPlotConstants& c, Lane<V> lane, SimdOutcome& out) {
        out = {lane[ZX], lane[ZY], 0.0, c.minMagnitudeSeed, lane[Count], 0.0, 0.0, 0.0, lane[Conv] != 0.0 ? 1 : 0};
    }

    // z^power by repeated squaring, as complexPower has it.
    static Complex<V> power(const Consts& k, D x, D y) {
        std::int32_t n = k.power;
        Complex<V> result = (n & 1) ? Complex<V>{x, y} : Complex<V>{k.one, V::set1(0.0)};
        Complex<V> base{x, y};
        n >>= 1;
        while (n != 0) {
            base = multiply<V>(base.re, base.im, base.re, base.im);
            if (n & 1) result = multiply<V>(result.re, result.im, base.re, base.im);
            n >>= 1;
        }
        return result;
    }

    static M pass(const Consts& k, D* s) {
        const D zx = s[ZX];
        const D zy = s[ZY];
        const M more = V::lt(s[Count], k.iter);
        s[Count] = V::add(s[Count], k.one);
        const Complex<V> w = power(k, zx, zy);
        const Complex<V> p = multiply<V>(w.re, w.im, zx, zy);
        const D offOne = V::sub(p.re, k.one);
        const M notConverged = V::ge(V::add(V::mul(offOne, offOne), V::mul(p.im, p.im)), k.close);
        const D wNorm = V::add(V::mul(w.re, w.re), V::mul(w.im, w.im));
        const M small = V::lt(wNorm, k.small);
        const D stepX = V::div(V::mul(k.invDegree, w.re), wNorm);
        const D stepY = V::div(V::mul(k.invDegree, V::neg(w.im)), wNorm);
        const D nx = V::add(V::mul(k.shrink, zx), stepX);
        const D ny = V::add(V::mul(k.shrink, zy), stepY);
        const M go = V::landNot(V::land(more, notConverged), small);
        s[ZX] = V::select(go, nx, zx);
        s[ZY] = V::select(go, ny, zy);
        s[Conv] = V::select(V::landNot(more, notConverged), k.one, s[Conv]);
        return go;
    }
};

// ---------------------------------------------------------------------------
// Self-Squared Dragons.

template <class V>
struct DragonLoop {
    using D = typename V::D;
    using M = typename V::M;
    static constexpr int X = 0, Y = 1, Mag = 2, N = 3;
    static constexpr int stateCount = 4;

    struct Consts {
        D limit, iter, one, two, lx, ly;
        explicit Consts(const SimdPlotConstants& c)
            : limit(V::set1(c.sizeLimit)), iter(V::set1(c.iterations)), one(V::set1(1.0)), two(V::set1(2.0)),
              lx(V::set1(c.param1)), ly(V::set1(c.param2)) {}
    };

    static bool start(const SimdPlotConstants& c, const SimdSeed& seed, Lane<V> lane, SimdOutcome& out) {
        if (!(seed.magnitude <= c.sizeLimit && 0.0 < c.iterations)) {
            out = {seed.x, seed.y, seed.magnitude, c.minMagnitudeSeed, 0.0, 0.0, 0.0, 0.0, 0};
            return false;
        }
        lane[X] = seed.x;
        lane[Y] = seed.y;
        lane[Mag] = seed.magnitude;
        lane[N] = 0.0;
        return true;
    }

    static void finish(const SimdPlotConstants& c, Lane<V> lane, SimdOutcome& out) {
        out = {lane[X], lane[Y], lane[Mag], c.minMagnitudeSeed, lane[N], 0.0, 0.0, 0.0, 0};
    }

    static M pass(const Consts& k, D* s) {
        const D x = s[X];
        const D y = s[Y];
        const D mag = V::add(V::mul(x, x), V::mul(y, y));
        const D a = V::add(V::sub(V::mul(y, y), V::mul(x, x)), x);
        const D b = V::sub(V::mul(V::mul(k.two, x), y), y);
        s[X] = V::add(V::mul(k.lx, a), V::mul(k.ly, b));
        s[Y] = V::sub(V::mul(k.ly, a), V::mul(k.lx, b));
        s[Mag] = mag;
        s[N] = V::add(s[N], k.one);
        return V::land(V::le(mag, k.limit), V::lt(s[N], k.iter));
    }
};

// ---------------------------------------------------------------------------
// Volterra-Lotka, one predictor-corrector step per pass.

template <class V, bool Bof>
struct VolterraLoop {
    using D = typename V::D;
    using M = typename V::M;
    static constexpr int X = 0, Y = 1, Mag = 2, N = 3, MinMag = 4, MinIt = 5;
    static constexpr int stateCount = Bof ? 6 : 4;

    struct Consts {
        D limit, iter, one, h, p;
        explicit Consts(const SimdPlotConstants& c)
            : limit(V::set1(c.sizeLimit)), iter(V::set1(c.iterations)), one(V::set1(1.0)), h(V::set1(c.halfStep)),
              p(V::set1(c.param2)) {}
    };

    static bool start(const SimdPlotConstants& c, const SimdSeed& seed, Lane<V> lane, SimdOutcome& out) {
        if (!(seed.magnitude <= c.sizeLimit && 0.0 < c.iterations)) {
            out = {seed.x, seed.y, seed.magnitude, c.minMagnitudeSeed, 0.0, 0.0, 0.0, 0.0, 0};
            return false;
        }
        lane[X] = seed.x;
        lane[Y] = seed.y;
        lane[Mag] = seed.magnitude;
        lane[N] = 0.0;
        if constexpr (Bof) {
            lane[MinMag] = c.minMagnitudeSeed;
            lane[MinIt] = 0.0;
        }
        return true;
    }

    static void finish(const SimdPlotConstants& c, Lane<V> lane, SimdOutcome& out) {
        out = {lane[X], lane[Y], lane[Mag], Bof ? lane[MinMag] : c.minMagnitudeSeed, lane[N], Bof ? lane[MinIt] : 0.0,
               0.0, 0.0, 0};
    }

    static M pass(const Consts& k, D* s) {
        const D x = s[X];
        const D y = s[Y];
        const D f = V::sub(x, V::mul(x, y));
        const D g = V::sub(V::mul(x, y), y);
        const D xp = V::add(x, V::mul(k.p, f));
        const D yp = V::add(y, V::mul(k.p, g));
        const D nx = V::add(x, V::mul(k.h, V::sub(V::add(f, xp), V::mul(xp, yp))));
        const D ny = V::add(y, V::mul(k.h, V::sub(V::add(g, V::mul(xp, yp)), yp)));
        const D mag = V::add(V::mul(nx, nx), V::mul(ny, ny));
        if constexpr (Bof) {
            const M lower = V::lt(mag, s[MinMag]);
            s[MinMag] = V::select(lower, mag, s[MinMag]);
            s[MinIt] = V::select(lower, s[N], s[MinIt]);
        }
        s[X] = nx;
        s[Y] = ny;
        s[Mag] = mag;
        s[N] = V::add(s[N], k.one);
        return V::land(V::le(mag, k.limit), V::lt(s[N], k.iter));
    }
};

// ---------------------------------------------------------------------------
// The lane scheduler shared by every loop: K groups of V::lanes points run
// side by side; a lane whose point has ended hands its outcome back and takes
// the next point at once.

template <class V, class Loop>
struct LaneFeed {
    const SimdPlotConstants& constants;
    const SimdSeed* seeds;
    SimdOutcome* outcomes;
    int count;
    int next = 0;

    // Puts the next point that needs a pass into lane j of `spill`; points
    // that need none get their outcome at once. False when none is left (the
    // lane is then parked on harmless values).
    bool fill(double* spill, int j, int& slot) {
        const Lane<V> lane{spill, j};
        while (next < count) {
            const int point = next++;
            if (Loop::start(constants, seeds[point], lane, outcomes[point])) {
                slot = point;
                return true;
            }
        }
        for (int s = 0; s < Loop::stateCount; ++s) lane[s] = 0.0;
        return false;
    }

    // Hands back the points of the lanes in `done` and refills them.
    __attribute__((noinline)) void refill(double* spill, unsigned done, int* slots, unsigned& active) {
        while (done != 0) {
            const int j = __builtin_ctz(done);
            done &= done - 1;
            Loop::finish(constants, Lane<V>{spill, j}, outcomes[slots[j]]);
            if (!fill(spill, j, slots[j])) active &= ~(1u << j);
        }
    }
};

template <class V, class Loop, int K>
bool runLanes(const SimdPlotConstants& c, const SimdSeed* seeds, SimdOutcome* outcomes, int count,
              const SimdStop& stop) {
    using D = typename V::D;
    constexpr int W = V::lanes;
    constexpr int S = Loop::stateCount;
    const typename Loop::Consts k(c);
    LaneFeed<V, Loop> feed{c, seeds, outcomes, count};

    alignas(64) double spill[S * W];
    D state[K][S];
    int slots[K][W];
    unsigned active[K];
    bool anyActive = false;
#pragma GCC unroll 8
    for (int g = 0; g < K; ++g) {
        active[g] = 0;
        for (int j = 0; j < W; ++j) {
            if (feed.fill(spill, j, slots[g][j])) active[g] |= 1u << j;
        }
        for (int s = 0; s < S; ++s) state[g][s] = V::load(spill + s * W);
        anyActive = anyActive || active[g] != 0;
    }
    if (!anyActive) return true;

    unsigned ticks = 0;
    for (;;) {
        unsigned done[K];
        unsigned anyDone = 0;
#pragma GCC unroll 8
        for (int g = 0; g < K; ++g) {
            done[g] = ~V::bits(Loop::pass(k, state[g])) & active[g];
            anyDone |= done[g];
        }
        if (anyDone != 0) {
            anyActive = false;
#pragma GCC unroll 8
            for (int g = 0; g < K; ++g) {
                if (done[g] != 0) {
                    for (int s = 0; s < S; ++s) V::store(spill + s * W, state[g][s]);
                    feed.refill(spill, done[g], slots[g], active[g]);
                    for (int s = 0; s < S; ++s) state[g][s] = V::load(spill + s * W);
                }
                anyActive = anyActive || active[g] != 0;
            }
            if (!anyActive) return true;
        }
        if ((++ticks & 1023u) == 0 && stop.requested != nullptr && stop.requested(stop.context)) return false;
    }
}

template <bool B>
struct Flag {
    static constexpr bool value = B;
};
using No = Flag<false>;
using Yes = Flag<true>;

// Groups side by side per loop: enough to hide the latency of one pass, few
// enough that the state stays in registers.
template <class V>
bool runLoop(const SimdPlotConstants& c, const SimdSeed* seeds, SimdOutcome* outcomes, int count,
             const SimdStop& stop) {
    constexpr int wide = V::registers >= 32 ? 4 : 3;
    constexpr int narrow = V::registers >= 32 ? 2 : 1;
    const bool bof = c.trackBof;
    const bool check = c.periodicityCheck;
    auto julia = [&](auto mandel) {
        constexpr bool Mandel = decltype(mandel)::value;
        if (!bof && !check) return runLanes<V, JuliaLoop<V, Mandel, false, false>, wide>(c, seeds, outcomes, count, stop);
        if (bof && !check) return runLanes<V, JuliaLoop<V, Mandel, true, false>, narrow>(c, seeds, outcomes, count, stop);
        if (!bof) return runLanes<V, JuliaLoop<V, Mandel, false, true>, narrow>(c, seeds, outcomes, count, stop);
        return runLanes<V, JuliaLoop<V, Mandel, true, true>, narrow>(c, seeds, outcomes, count, stop);
    };
    auto magnetism = [&](auto second, auto zplane) {
        constexpr bool Second = decltype(second)::value;
        constexpr bool ZPlane = decltype(zplane)::value;
        if (bof && c.trackMaxMag) {
            return runLanes<V, MagnetismLoop<V, Second, ZPlane, true, true>, narrow>(c, seeds, outcomes, count, stop);
        }
        if (bof) return runLanes<V, MagnetismLoop<V, Second, ZPlane, true, false>, narrow>(c, seeds, outcomes, count, stop);
        if (c.trackMaxMag) {
            return runLanes<V, MagnetismLoop<V, Second, ZPlane, false, true>, narrow>(c, seeds, outcomes, count, stop);
        }
        return runLanes<V, MagnetismLoop<V, Second, ZPlane, false, false>, narrow>(c, seeds, outcomes, count, stop);
    };
    switch (c.loop) {
        case SimdLoop::Julia: return julia(No{});
        case SimdLoop::Mandelbrot: return julia(Yes{});
        case SimdLoop::MagnetismIQ: return magnetism(No{}, No{});
        case SimdLoop::MagnetismIZ: return magnetism(No{}, Yes{});
        case SimdLoop::MagnetismIIQ: return magnetism(Yes{}, No{});
        case SimdLoop::MagnetismIIZ: return magnetism(Yes{}, Yes{});
        case SimdLoop::Newton: return runLanes<V, NewtonLoop<V>, narrow>(c, seeds, outcomes, count, stop);
        case SimdLoop::SelfSquaredDragons: return runLanes<V, DragonLoop<V>, wide>(c, seeds, outcomes, count, stop);
        case SimdLoop::VolterraLotka:
            if (bof) return runLanes<V, VolterraLoop<V, true>, narrow>(c, seeds, outcomes, count, stop);
            return runLanes<V, VolterraLoop<V, false>, wide>(c, seeds, outcomes, count, stop);
    }
    return true;
}

}  // namespace
}  // namespace fernwise::simd_impl
