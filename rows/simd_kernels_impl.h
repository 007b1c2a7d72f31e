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
// Each vector takes a block of neighbouring points of the row, whose orbits
// are mostly of similar length; a lane whose point ends stores its outcome
// and idles until the whole block is done. Several independent vectors run
// side by side so that one vector's additions wait on another's
// multiplications instead of on their own. The deep Julia and Mandelbrot
// loops on AVX-512 (runLanes) instead hand each lane the next point as soon
// as its own ends.

#include <cstdint>

#include "simd_kernels.h"

namespace fernwise::simd_impl {
namespace {

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

// One vector of neighbouring points as the row hands them over: x and y
// after the mapping, the magnitude seeded before it.
template <class V>
struct Seed {
    typename V::D x;
    typename V::D y;
    typename V::D magnitude;
};

template <class V>
inline Seed<V> loadSeed(const SimdSeeds& in, int base) {
    return {V::loadu(in.x + base), V::loadu(in.y + base), V::loadu(in.magnitude + base)};
}

// The start the escape-time loops share: the orbit at the point, the seeded
// magnitude, no pass made, the BOF minimum at its seed. Returns the lanes
// whose first test passes.
template <class V, class Loop>
inline typename V::M startOrbit(const typename Loop::Consts& k, const Seed<V>& p, typename V::D* s) {
    s[Loop::X] = p.x;
    s[Loop::Y] = p.y;
    s[Loop::Mag] = p.magnitude;
    s[Loop::N] = k.zero;
    if constexpr (Loop::tracksBof) {
        s[Loop::MinMag] = k.minMagSeed;
        s[Loop::MinIt] = k.zero;
    }
    return V::land(V::le(p.magnitude, k.limit), V::lt(k.zero, k.iter));
}

// Stores the outcome of the lanes `lanes` of every loop: the values each
// loop reports, and the seeds for those it does not track.
template <class V, class Loop>
inline void emitOutcome(const typename Loop::Consts& k, const SimdOutcomes& out, int base, unsigned lanes,
                        const typename V::D* s) {
    V::maskStore(out.x + base, lanes, s[Loop::X]);
    V::maskStore(out.y + base, lanes, s[Loop::Y]);
    if constexpr (Loop::reportsMagnitude) V::maskStore(out.magnitude + base, lanes, s[Loop::Mag]);
    V::maskStore(out.count + base, lanes, s[Loop::N]);
    if constexpr (Loop::tracksBof) {
        V::maskStore(out.minMagnitude + base, lanes, s[Loop::MinMag]);
        V::maskStore(out.minIteration + base, lanes, s[Loop::MinIt]);
    } else {
        V::maskStore(out.minMagnitude + base, lanes, k.minMagSeed);
        V::maskStore(out.minIteration + base, lanes, k.zero);
    }
    if constexpr (Loop::reportsMagnetism) {
        V::maskStore(out.distToOne + base, lanes, s[Loop::Dist]);
        if constexpr (Loop::tracksMaxMag) {
            V::maskStore(out.maxMag + base, lanes, s[Loop::MaxMag]);
        } else {
            V::maskStore(out.maxMag + base, lanes, k.start);
        }
    }
    if constexpr (Loop::reportsRoot) V::maskStore(out.converged + base, lanes, s[Loop::Conv]);
}

// What a loop reports besides the orbit and the count.
struct Reports {
    static constexpr bool reportsMagnitude = true;
    static constexpr bool tracksBof = false;
    static constexpr bool reportsMagnetism = false;
    static constexpr bool tracksMaxMag = false;
    static constexpr bool reportsRoot = false;
};

// ---------------------------------------------------------------------------
// Julia and Mandelbrot, with optional BOF tracking and periodicity check.

template <class V, bool Mandel, bool Bof, bool Check>
struct JuliaLoop : Reports {
    using D = typename V::D;
    using M = typename V::M;
    static constexpr bool tracksBof = Bof;
    static constexpr int X = 0, Y = 1, Mag = 2, N = 3;
    static constexpr int CX = 4, CY = 5;  // Mandelbrot only
    static constexpr int afterC = Mandel ? 6 : 4;
    static constexpr int MinMag = afterC, MinIt = afterC + 1;
    static constexpr int afterBof = afterC + (Bof ? 2 : 0);
    static constexpr int SX = afterBof, SY = afterBof + 1, Cnt = afterBof + 2, Intv = afterBof + 3;
    static constexpr int stateCount = afterBof + (Check ? 4 : 0);

    struct Consts {
        D limit, iter, zero, one, two, three, cx, cy, tol, minMagSeed;
        explicit Consts(const SimdPlotConstants& c)
            : limit(V::set1(c.sizeLimit)),
              iter(V::set1(c.iterations)),
              zero(V::set1(0.0)),
              one(V::set1(1.0)),
              two(V::set1(2.0)),
              three(V::set1(3.0)),
              cx(V::set1(c.param1)),
              cy(V::set1(c.param2)),
              tol(V::set1(c.tolerance)),
              minMagSeed(V::set1(c.minMagnitudeSeed)) {}
    };

    static M begin(const Consts& k, const Seed<V>& p, D* s) {
        const M go = startOrbit<V, JuliaLoop>(k, p, s);
        if constexpr (Mandel) {
            s[CX] = p.x;
            s[CY] = p.y;
        }
        if constexpr (Check) {
            s[SX] = k.zero;
            s[SY] = k.zero;
            s[Cnt] = k.one;
            s[Intv] = k.three;
        }
        return go;
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
struct MagnetismLoop : Reports {
    using D = typename V::D;
    using M = typename V::M;
    static constexpr bool tracksBof = Bof;
    static constexpr bool reportsMagnetism = true;
    static constexpr bool tracksMaxMag = ZMag;
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
        D limit, iter, zero, one, two, three, tiny, close, start, qx, qy, ax, bx, pre, pim, minMagSeed;
        explicit Consts(const SimdPlotConstants& c)
            : limit(V::set1(c.sizeLimit)),
              iter(V::set1(c.iterations)),
              zero(V::set1(0.0)),
              one(V::set1(1.0)),
              two(V::set1(2.0)),
              three(V::set1(3.0)),
              tiny(V::set1(1.1754943508222875e-38)),
              close(V::set1(1e-6)),
              start(V::set1(1e-5)),
              qx(V::set1(c.param1)),
              qy(V::set1(c.param2)),
              ax(V::set1(c.param1 - 1.0)),
              bx(V::set1(c.param1 - 2.0)),
              pre(V::set1((c.param1 - 1.0) * (c.param1 - 2.0) - c.param2 * c.param2)),
              pim(V::set1((c.param1 - 1.0) * c.param2 + c.param2 * (c.param1 - 2.0))),
              minMagSeed(V::set1(c.minMagnitudeSeed)) {}
    };

    static M begin(const Consts& k, const Seed<V>& p, D* s) {
        const M go = startOrbit<V, MagnetismLoop>(k, p, s);
        const D x = p.x;
        const D y = p.y;
        if constexpr (!ZPlane) {
            s[ZX] = k.zero;
            s[ZY] = k.zero;
            s[QX] = x;
            s[QY] = y;
            if constexpr (Second) {
                // a = q - 1, b = q - 2, P = a.b as complexMultiply forms it.
                const D ax = V::sub(x, k.one);
                const D bx = V::sub(x, k.two);
                s[AX] = ax;
                s[BX] = bx;
                s[PRe] = V::sub(V::mul(ax, bx), V::mul(y, y));
                s[PIm] = V::add(V::mul(ax, y), V::mul(y, bx));
            }
        }
        s[Dist] = k.start;
        if constexpr (ZMag) s[MaxMag] = k.start;
        return V::land(go, V::land(V::ge(s[Dist], k.close), V::ge(s[Mag], k.close)));
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
struct NewtonLoop : Reports {
    using D = typename V::D;
    using M = typename V::M;
    // The count is the passes begun.
    static constexpr int ZX = 0, ZY = 1, N = 2, Conv = 3;
    static constexpr int X = ZX, Y = ZY;
    static constexpr bool reportsMagnitude = false;
    static constexpr bool reportsRoot = true;
    static constexpr int stateCount = 4;

    struct Consts {
        D iter, zero, one, shrink, invDegree, close, small, minMagSeed;
        std::int32_t power;
        explicit Consts(const SimdPlotConstants& c)
            : iter(V::set1(c.iterations)),
              zero(V::set1(0.0)),
              one(V::set1(1.0)),
              shrink(V::set1(c.newtonShrink)),
              invDegree(V::set1(c.newtonInvDegree)),
              close(V::set1(1e-6)),
              small(V::set1(1e-18)),
              minMagSeed(V::set1(c.minMagnitudeSeed)),
              power(c.newtonDegree - 1) {}
    };

    static M begin(const Consts& k, const Seed<V>& p, D* s) {
        s[ZX] = p.x;
        s[ZY] = p.y;
        const M any = V::lt(k.zero, k.iter);
        // Without a pass allowed, the first test already ends the loop with m = 1.
        s[N] = V::select(any, k.zero, k.one);
        s[Conv] = k.zero;
        return any;
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
        const M more = V::lt(s[N], k.iter);
        s[N] = V::add(s[N], k.one);
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
struct DragonLoop : Reports {
    using D = typename V::D;
    using M = typename V::M;
    static constexpr int X = 0, Y = 1, Mag = 2, N = 3;
    static constexpr int stateCount = 4;

    struct Consts {
        D limit, iter, zero, one, two, lx, ly, minMagSeed;
        explicit Consts(const SimdPlotConstants& c)
            : limit(V::set1(c.sizeLimit)),
              iter(V::set1(c.iterations)),
              zero(V::set1(0.0)),
              one(V::set1(1.0)),
              two(V::set1(2.0)),
              lx(V::set1(c.param1)),
              ly(V::set1(c.param2)),
              minMagSeed(V::set1(c.minMagnitudeSeed)) {}
    };

    static M begin(const Consts& k, const Seed<V>& p, D* s) { return startOrbit<V, DragonLoop>(k, p, s); }

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
struct VolterraLoop : Reports {
    using D = typename V::D;
    using M = typename V::M;
    static constexpr bool tracksBof = Bof;
    static constexpr int X = 0, Y = 1, Mag = 2, N = 3, MinMag = 4, MinIt = 5;
    static constexpr int stateCount = Bof ? 6 : 4;

    struct Consts {
        D limit, iter, zero, one, h, p, minMagSeed;
        explicit Consts(const SimdPlotConstants& c)
            : limit(V::set1(c.sizeLimit)),
              iter(V::set1(c.iterations)),
              zero(V::set1(0.0)),
              one(V::set1(1.0)),
              h(V::set1(c.halfStep)),
              p(V::set1(c.param2)),
              minMagSeed(V::set1(c.minMagnitudeSeed)) {}
    };

    static M begin(const Consts& k, const Seed<V>& p, D* s) { return startOrbit<V, VolterraLoop>(k, p, s); }

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

template <bool B>
struct Flag {
    static constexpr bool value = B;
};
using No = Flag<false>;
using Yes = Flag<true>;

// ---------------------------------------------------------------------------
// Julia and Mandelbrot without BOF tracking or the periodicity check (the
// loops of the deep images): every lane takes the next point of the row as
// soon as its own point ends, so no lane idles while a neighbour's orbit goes
// on. C vectors ("chains") run side by side in rounds of B passes with no
// branch inside; between rounds, ended lanes are packed into a log of
// outcomes and the next queued points are spread into them (compress and
// expand, no branch per lane).
//
// Where an escaped orbit provably stays escaped (escapeStaysEscaped), a round
// can be a block: B passes of the update alone and one test at the end. A
// chain in which some lane escaped, or might reach the iteration limit, is
// then run again from its state before the block with a test after every
// pass, which gives each lane exactly the pass it ended on and the values it
// ended with. Block rounds are used while such replays are rare.

// Whether |z|^2 > limit after a pass implies the same after every later pass,
// for every c with |c|^2 <= cBound2. With R^2 = limit >= 32 and |c| <= R^2 / 2,
// |z'| >= (1 - 5u)|z|^2 - |c| > |z|^2 / 2 - 6u|z|^2 > 2.7|z| in doubles (u the
// unit roundoff), so |z| only grows; a value that overflows turns to inf or
// NaN and stays so, and both fail the test as well.
inline bool escapeStaysEscaped(double limit) { return limit >= 32.0 && limit <= 1e300; }
inline double escapeBoundOnC2(double limit) { return 0.25 * limit * limit * (1.0 - 1e-9); }

// Which points are the last of their row, for loops that write every value
// of those points only: point + 1 is a multiple of the width exactly when
// (point + 1) * (2^64 / width + 1), modulo 2^64, is below 2^64 / width + 1
// (for points and widths below 2^32).
class RowEnds {
public:
    explicit RowEnds(std::int32_t width)
        : width_(static_cast<std::uint64_t>(width)), magic_(~std::uint64_t{0} / width_ + 1) {}
    bool isLast(std::uint64_t point) const { return (point + 1) * magic_ <= magic_ - 1; }
    // The lanes of the vector of `lanes` points from `first` that hold a row's last point.
    unsigned lastLanes(int first, int lanes) const {
        unsigned mask = 0;
        const auto start = static_cast<std::uint64_t>(first);
        for (std::uint64_t end = (start / width_ + 1) * width_ - 1; end < start + static_cast<std::uint64_t>(lanes);
             end += width_) {
            mask |= 1u << (end - start);
        }
        return mask;
    }

private:
    std::uint64_t width_;
    std::uint64_t magic_;
};

template <class V, bool Mandel, int C, int B>
bool runLanes(const SimdPlotConstants& c, const SimdSeeds& in, const SimdOutcomes& out, int count,
              const SimdStop& stop) {
    using D = typename V::D;
    using M = typename V::M;
    constexpr int W = V::lanes;
    constexpr unsigned all = V::allLanes;
    const D limit = V::set1(c.sizeLimit), iter = V::set1(c.iterations), zero = V::set1(0.0), one = V::set1(1.0),
            two = V::set1(2.0), steps = V::set1(static_cast<double>(B));
    // A lane without a point: z = c = 0 stays put and its count never
    // reaches the limit, so it never ends.
    const D deadCount = V::set1(-0x1p60);
    const D juliaX = V::set1(c.param1), juliaY = V::set1(c.param2);
    alignas(64) double iota[W];
    for (int i = 0; i < W; ++i) iota[i] = i;
    const D laneIndex = V::load(iota);

    // First every point makes one round of B passes, W neighbours to a
    // vector and G vectors side by side, with no lane taking another point:
    // most points of an image end there, and their outcomes go straight to
    // their places. The points still going queue up, with their values after
    // the round, for the lanes. (A point whose first test fails makes no
    // pass and is reported as seeded; every point's BOF values are the seeds.)
    constexpr int G = V::registers >= 32 ? 4 : 2;
    const auto iterations = static_cast<std::int64_t>(c.iterations);
    const int firstPasses = iterations < B ? static_cast<int>(iterations) : B;
    const int padded = simdPaddedCount(count);
    // Each queue array ends with room for a refill's worth of lanes
    // without a point.
    static_assert((C + 1) * W <= simdQueueSlack);
    const int queueSize = padded + simdQueueSlack;
    double* queueX = out.work;
    double* queueY = queueX + queueSize;
    double* queueCX = queueY + queueSize;
    double* queueCY = queueCX + queueSize;
    double* queueIndex = queueCY + queueSize;
    const D cBound2 = V::set1(escapeBoundOnC2(c.sizeLimit));
    bool blocks = escapeStaysEscaped(c.sizeLimit);
    if (!Mandel) blocks = blocks && c.param1 * c.param1 + c.param2 * c.param2 <= escapeBoundOnC2(c.sizeLimit);
    int queued = 0;
    const RowEnds rowEnds(c.rowWidth);
    // The round in the state of the loop with a test after every pass
    // (JuliaLoop), whose start and outcome it shares.
    using Loop = JuliaLoop<V, Mandel, false, false>;
    const typename Loop::Consts constants(c);
    for (int first = 0; first < count; first += G * W) {
        D st[G][Loop::stateCount];
        D seedMag[G];
        M go[G];
        unsigned started[G];
#pragma GCC unroll 8
        for (int g = 0; g < G; ++g) {
            const bool inRow = first + g * W < count;
            const Seed<V> seed = loadSeed<V>(in, inRow ? first + g * W : 0);
            seedMag[g] = seed.magnitude;
            started[g] = V::bits(Loop::begin(constants, seed, st[g])) & (inRow ? all : 0u);
            go[g] = V::fromBits(started[g]);
            if constexpr (Mandel) {
                // NaN fails the comparison too.
                const unsigned near = V::bits(V::le(V::add(V::mul(seed.x, seed.x), V::mul(seed.y, seed.y)), cBound2));
                if ((started[g] & ~near) != 0) blocks = false;
            }
        }
        for (int s = 0; s < firstPasses; ++s) {
#pragma GCC unroll 8
            for (int g = 0; g < G; ++g) {
                D* v = st[g];
                const D x = v[Loop::X];
                const D y = v[Loop::Y];
                const D nx = V::mul(V::add(x, y), V::sub(x, y));
                const D ny = V::mul(V::twice(two, x), y);
                v[Loop::X] = V::maskAdd(x, go[g], nx, Mandel ? v[Loop::CX] : juliaX);
                v[Loop::Y] = V::maskAdd(y, go[g], ny, Mandel ? v[Loop::CY] : juliaY);
                v[Loop::N] = V::maskAdd(v[Loop::N], go[g], v[Loop::N], one);
                go[g] = V::land(go[g],
                                V::le(V::add(V::mul(v[Loop::X], v[Loop::X]), V::mul(v[Loop::Y], v[Loop::Y])), limit));
            }
            if ((s & 3) == 3) {
                unsigned any = 0;
#pragma GCC unroll 8
                for (int g = 0; g < G; ++g) any |= V::bits(go[g]);
                if (any == 0) break;
            }
        }
#pragma GCC unroll 8
        for (int g = 0; g < G; ++g) {
            if (first + g * W >= count) break;
            const int at = first + g * W;
            D* v = st[g];
            // The magnitude of a lane's last pass is that of its frozen values.
            const D mag = V::add(V::mul(v[Loop::X], v[Loop::X]), V::mul(v[Loop::Y], v[Loop::Y]));
            v[Loop::Mag] = V::select(V::fromBits(started[g]), mag, seedMag[g]);
            if (c.countsOnly) {
                V::storeu(out.magnitude + at, v[Loop::Mag]);
                V::storeu(out.count + at, v[Loop::N]);
                const unsigned last = rowEnds.lastLanes(at, W);
                if (last != 0) emitOutcome<V, Loop>(constants, out, at, last, v);
            } else {
                emitOutcome<V, Loop>(constants, out, at, all, v);
            }
            // A point that made every pass allowed has ended too.
            const unsigned going = firstPasses < iterations ? V::bits(go[g]) : 0u;
            V::storeu(queueX + queued, V::compress(going, v[Loop::X]));
            V::storeu(queueY + queued, V::compress(going, v[Loop::Y]));
            if constexpr (Mandel) {
                V::storeu(queueCX + queued, V::compress(going, v[Loop::CX]));
                V::storeu(queueCY + queued, V::compress(going, v[Loop::CY]));
            }
            V::storeu(queueIndex + queued, V::compress(going, V::add(V::set1(at), laneIndex)));
            queued += __builtin_popcount(going);
        }
    }
    if (queued == 0) return true;
    // Past the queue's last point, lanes without a point: refills read
    // there once the queue runs out, with no branch.
    for (int i = queued; i < queued + (C + 1) * W; ++i) {
        queueX[i] = queueY[i] = queueCX[i] = queueCY[i] = 0.0;
        queueIndex[i] = -1.0;
    }

    // Outcomes of ended lanes, written to the rows' arrays now and then.
    constexpr int logSize = 512;
    alignas(64) double logIndex[logSize], logX[logSize], logY[logSize], logMag[logSize], logCount[logSize];
    int logged = 0;
    auto flush = [&]() __attribute__((noinline)) {
        for (int i = 0; i < logged; ++i) {
            const auto at = static_cast<std::size_t>(logIndex[i]);
            out.magnitude[at] = logMag[i];
            out.count[at] = logCount[i];
            if (!c.countsOnly || rowEnds.isLast(at)) {
                out.x[at] = logX[i];
                out.y[at] = logY[i];
            }
        }
        logged = 0;
    };
    const D firstCount = V::set1(firstPasses);

    // The orbits in registers; c and the point's index (read once a round
    // at most) in memory.
    D X[C], Y[C], N[C];
    alignas(64) double cx[C][W], cy[C][W], index[C][W];
    unsigned ended[C];
#pragma GCC unroll 8
    for (int k = 0; k < C; ++k) {
        X[k] = Y[k] = zero;
        N[k] = deadCount;
        V::store(cx[k], Mandel ? zero : juliaX);
        V::store(cy[k], Mandel ? zero : juliaY);
        V::store(index[k], V::set1(-1.0));
        ended[k] = all;
    }
    int taken = 0;

    // Logs the ended lanes and gives them the next points. The magnitude of
    // an ended lane is that of the values it froze with.
    auto refill = [&]() __attribute__((always_inline)) {
        int offset[C];
        int total = 0;
#pragma GCC unroll 8
        for (int k = 0; k < C; ++k) {
            offset[k] = total;
            total += __builtin_popcount(ended[k]);
        }
        if (total == 0) return;
#pragma GCC unroll 8
        for (int k = 0; k < C; ++k) {  // each store's tail is overwritten by the next
            const unsigned e = ended[k];
            const D mag = V::add(V::mul(X[k], X[k]), V::mul(Y[k], Y[k]));
            V::storeu(logIndex + logged + offset[k], V::compress(e, V::load(index[k])));
            V::storeu(logX + logged + offset[k], V::compress(e, X[k]));
            V::storeu(logY + logged + offset[k], V::compress(e, Y[k]));
            V::storeu(logMag + logged + offset[k], V::compress(e, mag));
            V::storeu(logCount + logged + offset[k], V::compress(e, N[k]));
        }
        logged += total;
        const double* fromX = queueX + taken;
        const double* fromY = queueY + taken;
        const double* fromCX = queueCX + taken;
        const double* fromCY = queueCY + taken;
        const double* fromIndex = queueIndex + taken;
#pragma GCC unroll 8
        for (int k = 0; k < C; ++k) {
            const unsigned e = ended[k];
            const M m = V::fromBits(e);
            const D point = V::expand(e, V::loadu(fromIndex + offset[k]));
            X[k] = V::select(m, V::expand(e, V::loadu(fromX + offset[k])), X[k]);
            Y[k] = V::select(m, V::expand(e, V::loadu(fromY + offset[k])), Y[k]);
            if constexpr (Mandel) {
                V::maskStore(cx[k], e, V::expand(e, V::loadu(fromCX + offset[k])));
                V::maskStore(cy[k], e, V::expand(e, V::loadu(fromCY + offset[k])));
            }
            V::maskStore(index[k], e, point);
            N[k] = V::select(m, V::select(V::lt(point, zero), deadCount, firstCount), N[k]);
        }
        taken = taken + total < queued ? taken + total : queued;
        if (logged > logSize - C * W) flush();
    };

    // Lanes take points only between rounds, and every round is B passes,
    // so a lane's count after pass s of a round is s + 1 plus a multiple of
    // B: the iteration limit can only be reached at pass limitStep.
    const int limitStep = static_cast<int>((iterations - 1) % B);

    // One tested pass of a chain: a lane that has ended keeps its values
    // and count.
    auto testedPass = [&](D & x, D & y, D & n, M & go, const double* cxk, const double* cyk)
        __attribute__((always_inline)) {
        const D nx = V::mul(V::add(x, y), V::sub(x, y));
        const D ny = V::mul(V::twice(two, x), y);
        x = V::maskAddFrom(x, go, nx, cxk);
        y = V::maskAddFrom(y, go, ny, cyk);
        n = V::maskAdd(n, go, n, one);
        go = V::land(go, V::le(V::add(V::mul(x, x), V::mul(y, y)), limit));
    };
    // A round of B tested passes on every chain. Limit: some lane may reach
    // the iteration limit in this round.
    auto checked = [&](auto limitFlag) __attribute__((always_inline)) {
        M go[C];
#pragma GCC unroll 8
        for (int k = 0; k < C; ++k) go[k] = V::fromBits(all);
#pragma GCC unroll 16
        for (int s = 0; s < B; ++s) {
#pragma GCC unroll 8
            for (int k = 0; k < C; ++k) testedPass(X[k], Y[k], N[k], go[k], cx[k], cy[k]);
            if (decltype(limitFlag)::value && s == limitStep) {
#pragma GCC unroll 8
                for (int k = 0; k < C; ++k) go[k] = V::land(go[k], V::lt(N[k], iter));
            }
        }
#pragma GCC unroll 8
        for (int k = 0; k < C; ++k) ended[k] = ~V::bits(go[k]) & all;
    };
    // The same round for one chain, from its values before a block.
    auto replay = [&](D & x, D & y, D & n, const double* cxk, const double* cyk) __attribute__((always_inline)) {
        M go = V::fromBits(all);
#pragma GCC unroll 16
        for (int s = 0; s < B; ++s) {
            testedPass(x, y, n, go, cxk, cyk);
            if (s == limitStep) go = V::land(go, V::lt(n, iter));
        }
        return ~V::bits(go) & all;
    };

    refill();
    logged = 0;               // the lanes' first points, after lanes that had none
    float replayRate = 0.0f;  // chains replayed per block round, smoothed
    bool block = blocks;
    for (unsigned rounds = 1;; ++rounds) {
        // Lanes that reach the limit in this round, and those that reach it
        // before its end.
        unsigned reachLimit[C], passLimit[C];
        unsigned anyReach = 0;
#pragma GCC unroll 8
        for (int k = 0; k < C; ++k) {
            const D after = V::add(N[k], steps);
            reachLimit[k] = V::bits(V::ge(after, iter));
            passLimit[k] = V::bits(V::gt(after, iter));
            anyReach |= reachLimit[k];
        }
        int busyChains = 0;
        if (block) {
            D startX[C], startY[C];
#pragma GCC unroll 8
            for (int k = 0; k < C; ++k) {
                startX[k] = X[k];
                startY[k] = Y[k];
            }
#pragma GCC unroll 16
            for (int s = 0; s < B; ++s) {
#pragma GCC unroll 8
                for (int k = 0; k < C; ++k) {
                    const D x = X[k];
                    const D y = Y[k];
                    X[k] = V::addFrom(V::mul(V::add(x, y), V::sub(x, y)), cx[k]);
                    Y[k] = V::addFrom(V::mul(V::twice(two, x), y), cy[k]);
                }
            }
#pragma GCC unroll 8
            for (int k = 0; k < C; ++k) {
                const D mag = V::add(V::mul(X[k], X[k]), V::mul(Y[k], Y[k]));
                const unsigned unsure = (~V::bits(V::le(mag, limit)) & all) | passLimit[k];
                if (unsure == 0) {
                    N[k] = V::add(N[k], steps);
                    ended[k] = reachLimit[k];
                } else {
                    X[k] = startX[k];
                    Y[k] = startY[k];
                    ended[k] = replay(X[k], Y[k], N[k], cx[k], cy[k]);
                    ++busyChains;
                }
            }
            replayRate = 0.9f * replayRate + 0.1f * static_cast<float>(busyChains);
        } else {
            if (anyReach != 0) {
                checked(Yes{});
            } else {
                checked(No{});
            }
#pragma GCC unroll 8
            for (int k = 0; k < C; ++k) busyChains += ended[k] != 0;
            replayRate = 0.9f * replayRate + 0.1f * static_cast<float>(busyChains);
        }
        // A replay costs about a checked round of one chain on top of the block.
        block = blocks && replayRate < 0.12f * C;
        refill();
        if (taken == queued) {
            unsigned occupied = 0;
#pragma GCC unroll 8
            for (int k = 0; k < C; ++k) occupied |= V::bits(V::ge(V::load(index[k]), zero));
            if (occupied == 0) break;
        }
        if ((rounds & 255u) == 0 && stop.requested != nullptr && stop.requested(stop.context)) return false;
    }
    flush();
    return true;
}

// ---------------------------------------------------------------------------
// The block scheduler shared by every loop: K vectors run side by side, each
// on a block of V::lanes neighbouring points. Points that need no pass are
// handed back at once; a lane whose point ends stores its outcome and idles
// (computing values nobody reads) until its block is done.

template <class V, class Loop, int K>
bool runBlocks(const SimdPlotConstants& c, const SimdSeeds& in, const SimdOutcomes& out, int count,
               const SimdStop& stop) {
    using D = typename V::D;
    constexpr int W = V::lanes;
    constexpr int S = Loop::stateCount;
    const typename Loop::Consts k(c);
    const int blocks = (count + W - 1) / W;
    int nextBlock = 0;

    D state[K][S];
    unsigned live[K];
    int base[K];
    auto startBlock = [&](D* s, unsigned& lanes, int& at) {
        while (nextBlock < blocks) {
            at = nextBlock++ * W;
            lanes = V::bits(Loop::begin(k, loadSeed<V>(in, at), s));
            const unsigned idle = ~lanes & V::allLanes;
            if (idle != 0) emitOutcome<V, Loop>(k, out, at, idle, s);
            if (lanes != 0) return;
        }
        lanes = 0;
    };
#pragma GCC unroll 8
    for (int g = 0; g < K; ++g) {
        for (int v = 0; v < S; ++v) state[g][v] = V::set1(0.0);
        base[g] = 0;
        startBlock(state[g], live[g], base[g]);
    }
    // When no point needs a pass at all (a window wholly outside the escape
    // radius), no lane ever ends below, so the loop would never see that the
    // work is done.
    unsigned anyLive = 0;
    for (int g = 0; g < K; ++g) anyLive |= live[g];
    if (anyLive == 0) return true;

    unsigned ticks = 0;
    for (;;) {
        // Every vector makes its pass (a vector with no live lane computes
        // values nobody reads); only then are ended lanes looked at, so the
        // passes of the vectors overlap.
        unsigned go[K];
        unsigned anyDone = 0;
#pragma GCC unroll 8
        for (int g = 0; g < K; ++g) {
            go[g] = V::bits(Loop::pass(k, state[g]));
            anyDone |= live[g] & ~go[g];
        }
        if (anyDone != 0) {
            unsigned any = 0;
#pragma GCC unroll 8
            for (int g = 0; g < K; ++g) {
                const unsigned done = live[g] & ~go[g];
                if (done != 0) {
                    emitOutcome<V, Loop>(k, out, base[g], done, state[g]);
                    live[g] &= go[g];
                    if (live[g] == 0) startBlock(state[g], live[g], base[g]);
                }
                any |= live[g];
            }
            if (any == 0) return true;
        }
        if ((++ticks & 1023u) == 0 && stop.requested != nullptr && stop.requested(stop.context)) return false;
    }
}

// Groups side by side per loop: enough to hide the latency of one pass, few
// enough that the state stays in registers.
template <class V>
bool runLoop(const SimdPlotConstants& c, const SimdSeeds& seeds, const SimdOutcomes& outcomes, int count,
             const SimdStop& stop) {
    constexpr int wide = V::registers >= 32 ? 4 : 3;
    constexpr int narrow = V::registers >= 32 ? 2 : 1;
    constexpr int laneChains = 6;
    constexpr int laneBlock = 16;
    const bool bof = c.trackBof;
    const bool check = c.periodicityCheck;
    auto julia = [&](auto mandel) {
        constexpr bool Mandel = decltype(mandel)::value;
        if (!bof && !check) {
            // With sixteen registers and no compress or expand, handing lanes
            // new points costs AVX2 more than the idle lanes it saves
            // (measured: 0.97 and 0.88 of the neighbouring-points loop on the
            // two deep Mandelbrot benchmark images).
            if constexpr (V::registers >= 32) {
                return runLanes<V, Mandel, laneChains, laneBlock>(c, seeds, outcomes, count, stop);
            } else {
                return runBlocks<V, JuliaLoop<V, Mandel, false, false>, wide>(c, seeds, outcomes, count, stop);
            }
        }
        if (bof && !check)
            return runBlocks<V, JuliaLoop<V, Mandel, true, false>, narrow>(c, seeds, outcomes, count, stop);
        if (!bof) return runBlocks<V, JuliaLoop<V, Mandel, false, true>, narrow>(c, seeds, outcomes, count, stop);
        return runBlocks<V, JuliaLoop<V, Mandel, true, true>, narrow>(c, seeds, outcomes, count, stop);
    };
    auto magnetism = [&](auto second, auto zplane) {
        constexpr bool Second = decltype(second)::value;
        constexpr bool ZPlane = decltype(zplane)::value;
        if (bof && c.trackMaxMag) {
            return runBlocks<V, MagnetismLoop<V, Second, ZPlane, true, true>, narrow>(c, seeds, outcomes, count, stop);
        }
        if (bof)
            return runBlocks<V, MagnetismLoop<V, Second, ZPlane, true, false>, narrow>(c, seeds, outcomes, count, stop);
        if (c.trackMaxMag) {
            return runBlocks<V, MagnetismLoop<V, Second, ZPlane, false, true>, narrow>(c, seeds, outcomes, count, stop);
        }
        return runBlocks<V, MagnetismLoop<V, Second, ZPlane, false, false>, narrow>(c, seeds, outcomes, count, stop);
    };
    switch (c.loop) {
        case SimdLoop::Julia: return julia(No{});
        case SimdLoop::Mandelbrot: return julia(Yes{});
        case SimdLoop::MagnetismIQ: return magnetism(No{}, No{});
        case SimdLoop::MagnetismIZ: return magnetism(No{}, Yes{});
        case SimdLoop::MagnetismIIQ: return magnetism(Yes{}, No{});
        case SimdLoop::MagnetismIIZ: return magnetism(Yes{}, Yes{});
        case SimdLoop::Newton: return runBlocks<V, NewtonLoop<V>, narrow>(c, seeds, outcomes, count, stop);
        case SimdLoop::SelfSquaredDragons: return runBlocks<V, DragonLoop<V>, wide>(c, seeds, outcomes, count, stop);
        case SimdLoop::VolterraLotka:
            if (bof) return runBlocks<V, VolterraLoop<V, true>, narrow>(c, seeds, outcomes, count, stop);
            return runBlocks<V, VolterraLoop<V, false>, wide>(c, seeds, outcomes, count, stop);
    }
    return true;
}

}  // namespace
}  // namespace fernwise::simd_impl
