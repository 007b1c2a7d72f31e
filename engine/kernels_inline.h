#pragma once

// The iteration kernels, one function template per type, so that a row loop
// can be instantiated per type and do no per-point dispatch. The arithmetic is
// written in exactly the order of the definition of each step; do not let the
// compiler or a refactoring reassociate it.

#include <cmath>
#include <cstdint>

#include "kernels.h"

namespace fernwise::kernels {

inline bool tracksBof(const FractalParams& p) {
    return p.insideColoring == InsideColoring::Bof33 || p.insideColoring == InsideColoring::Bof34;
}

inline void trackBof(PointState& point, std::int32_t passIndex) {
    if (point.magnitude < point.minMagnitude) {
        point.minMagnitude = point.magnitude;
        point.minIteration = passIndex;
    }
}

// z^2 + c in the Julia step's own form: (x + y)(x - y) + cx, 2xy + cy.
inline void juliaStep(double& x, double& y, double cx, double cy) {
    double nx = (x + y) * (x - y) + cx;
    double ny = 2.0 * x * y + cy;
    x = nx;
    y = ny;
}

inline std::int32_t juliaOrMandelbrot(KernelState& s, double& x, double& y, double cx, double cy) {
    const FractalParams& p = s.params;
    PointState& point = s.point;
    PeriodicityState& per = s.periodicity;
    const bool bof = tracksBof(p);
    const bool check = s.periodicityChecking && per.lastPointInside;
    std::int32_t n = 0;
    while (point.magnitude <= p.sizeLimit && n < p.iterations) {
        juliaStep(x, y, cx, cy);
        point.magnitude = x * x + y * y;
        if (bof) trackBof(point, n);
        ++n;
        if (check) {
            if (std::fabs(per.savedX - x) < per.tolerance && std::fabs(per.savedY - y) < per.tolerance) {
                n = p.iterations;
                break;
            }
            ++per.checkCounter;
            if (per.checkCounter > per.checkInterval) {
                per.checkInterval = 2 * per.checkInterval + 1;
                per.checkCounter = 1;
                per.savedX = x;
                per.savedY = y;
            }
        }
    }
    per.lastPointInside = (n == p.iterations);
    return n;
}

inline std::int32_t julia(KernelState& s, double& x, double& y) {
    return juliaOrMandelbrot(s, x, y, s.params.param1, s.params.param2);
}

inline std::int32_t mandelbrot(KernelState& s, double& x, double& y) { return juliaOrMandelbrot(s, x, y, x, y); }

inline std::int32_t selfSquaredDragons(KernelState& s, double& x, double& y) {
    const FractalParams& p = s.params;
    const double lx = p.param1;
    const double ly = p.param2;
    std::int32_t n = 0;
    while (s.point.magnitude <= p.sizeLimit && n < p.iterations) {
        s.point.magnitude = x * x + y * y;
        double a = y * y - x * x + x;
        double b = 2.0 * x * y - y;
        double nx = lx * a + ly * b;
        double ny = ly * a - lx * b;
        x = nx;
        y = ny;
        ++n;
    }
    return n;
}

inline std::int32_t sine(KernelState& s, double& x, double& y) {
    const FractalParams& p = s.params;
    const double eps = p.param1;
    std::int32_t n = 0;
    while (s.point.magnitude <= p.sizeLimit && n < p.iterations) {
        double sv = std::sin(x) * std::cosh(y);
        double tv = std::cos(x) * std::sinh(y);
        double nx = sv - eps * tv;
        double ny = eps * sv + tv;
        s.point.magnitude = nx * nx + ny * ny;
        x = nx;
        y = ny;
        ++n;
    }
    return n;
}

inline std::int32_t tileEscape(const FractalParams& p, double u, double v) {
    double wx = u;
    double wy = v;
    double m = 0.0;
    std::int32_t i = 0;
    while (m <= p.sizeLimit && i < p.iterations) {
        juliaStep(wx, wy, p.param1, p.param2);
        m = wx * wx + wy * wy;
        ++i;
    }
    return m > p.sizeLimit ? i : 0;
}

inline std::int32_t tileJulia(KernelState& s, double& x, double& y) {
    const FractalParams& p = s.params;
    std::int32_t n = 0;
    bool lastWasBounded = false;
    while (s.point.magnitude <= p.sizeLimit && n < p.iterations) {
        double nx = (x + y) * (x - y);
        double ny = 2.0 * x * y;
        s.point.magnitude = nx * nx + ny * ny;
        std::int32_t k = tileEscape(p, 15.0 * nx, 15.0 * ny);
        if (k == 0) {
            lastWasBounded = true;
            break;
        }
        x = nx;
        y = ny;
        ++n;
    }
    s.point.colorDecided = true;
    s.point.decidedIndex = lastWasBounded ? (3 * n) % 255 + 1 : 1;
    s.point.decidedValue = s.point.decidedIndex;
    return n;
}

// A Volterra-Lotka point that stayed bounded fixes its colour from its
// magnitude under z-mag inside colouring; shared with the row engine.
inline void volterraLotkaEnding(PointState& point, const FractalParams& p) {
    if (point.magnitude <= p.sizeLimit && p.insideColoring == InsideColoring::ZMag) {
        point.colorDecided = true;
        point.decidedValue = std::fmod(16.0 * point.magnitude, 255.0) + 1.0;
        point.decidedIndex = static_cast<std::int32_t>(point.decidedValue);
    }
}

inline std::int32_t volterraLotka(KernelState& s, double& x, double& y, std::int32_t column, std::int32_t row) {
    const FractalParams& p = s.params;
    if (column == 0 && row == 0) s.halfStep = 0.5 * p.param1;
    const double h = s.halfStep;
    const double pstep = p.param2;
    const bool bof = tracksBof(p);
    PointState& point = s.point;
    std::int32_t n = 0;
    while (point.magnitude <= p.sizeLimit && n < p.iterations) {
        double f = x - x * y;
        double g = x * y - y;
        double xp = x + pstep * f;
        double yp = y + pstep * g;
        double nx = x + h * (f + xp - xp * yp);
        double ny = y + h * (g + xp * yp - yp);
        x = nx;
        y = ny;
        point.magnitude = nx * nx + ny * ny;
        if (bof) trackBof(point, n);
        ++n;
    }
    volterraLotkaEnding(point, p);
    return n;
}

// A real value that may be NaN or infinite, truncated toward zero into an
// index candidate; such values give 1 (the caller then uses fraction 0).
inline bool truncatesToIndex(double v, std::int32_t& index) {
    if (!(v > -2147483648.0 && v < 2147483648.0)) {
        index = 1;
        return false;
    }
    index = static_cast<std::int32_t>(v);
    return true;
}

// A Magnetism orbit stops this close to 1 (a fixed point of the map) or, for
// Magnetism II, to 0.
inline constexpr double magnetismNear = 1e-6;

// The end of a Magnetism orbit after `n` passes, shared by the kernels and the
// row engine (which applies it to a vector loop's outcome): the count the
// colouring takes, with the point's state as the colouring needs it. An orbit
// that reached 1 gives code n + 85 (and, for `decidesBinary` kinds under
// binary outside colouring, fixes its colour); Magnetism II reaching 0 gives
// n + 170; both count as escaped.
inline std::int32_t magnetismEnding(PointState& point, const FractalParams& p, bool secondKind, bool decidesBinary,
                                    bool specialColoring, std::int32_t n, double distToOne, double maxMag) {
    if (point.magnitude > p.sizeLimit) return n;
    if (distToOne < magnetismNear) {
        std::int32_t code = (n + 85) % 255 + 1;
        if (decidesBinary && p.outsideColoring == OutsideColoring::Binary) {
            point.colorDecided = true;
            point.decidedIndex = code;
            point.decidedValue = code;
        } else {
            point.magnitude = p.sizeLimit + 1.0;
        }
        return code;
    }
    if (secondKind && point.magnitude < magnetismNear) {
        point.magnitude = p.sizeLimit + 1.0;
        return (n + 170) % 255 + 1;
    }
    if (specialColoring) {
        point.colorDecided = true;
        point.decidedValue = std::fmod(255.0 * point.magnitude / maxMag, 255.0) + 1.0;
        truncatesToIndex(point.decidedValue, point.decidedIndex);
    }
    return n;
}

// Which of the four Magnetism kernels: I or II, and Q plane or Z plane.
template <bool SecondKind, bool ZPlane>
std::int32_t magnetism(KernelState& s, double& x, double& y) {
    const FractalParams& p = s.params;
    PointState& point = s.point;
    double qx, qy, zx, zy;
    if constexpr (ZPlane) {
        qx = p.param1;
        qy = p.param2;
        zx = x;
        zy = y;
    } else {
        qx = x;
        qy = y;
        zx = 0.0;
        zy = 0.0;
    }
    double distToOne = 1e-5;
    double maxMag = 1e-5;
    const bool bof = tracksBof(p);
    const bool zmag = p.insideColoring == InsideColoring::ZMag;

    // Magnetism II: a = q - 1, b = q - 2 and P = a.b, once per point.
    double ax = 0.0, ay = 0.0, bx = 0.0, by = 0.0;
    Complex pp{0.0, 0.0};
    if constexpr (SecondKind) {
        ax = qx - 1.0;
        ay = qy;
        bx = qx - 2.0;
        by = qy;
        pp = complexMultiply(ax, ay, bx, by);
    }

    std::int32_t n = 0;
    while (point.magnitude <= p.sizeLimit && n < p.iterations && distToOne >= magnetismNear &&
           point.magnitude >= magnetismNear) {
        ++n;
        Complex num, den;
        Complex z2 = complexMultiply(zx, zy, zx, zy);
        if constexpr (SecondKind) {
            Complex z3 = complexMultiply(z2.re, z2.im, zx, zy);
            Complex az = complexMultiply(ax, ay, zx, zy);
            num = {(z3.re + 3.0 * az.re) + pp.re, (z3.im + 3.0 * az.im) + pp.im};
            Complex bz = complexMultiply(bx, by, zx, zy);
            den = {((3.0 * z2.re + 3.0 * bz.re) + pp.re) + 1.0, (3.0 * z2.im + 3.0 * bz.im) + pp.im};
        } else {
            num = {(z2.re + qx) - 1.0, z2.im + qy};
            den = {(2.0 * zx + qx) - 2.0, 2.0 * zy + qy};
        }
        double denNorm = den.re * den.re + den.im * den.im;
        if (denNorm < 1.1754943508222875e-38) break;
        Complex w = complexMultiply(num.re, num.im, den.re, -den.im);
        w.re = w.re / denNorm;
        w.im = w.im / denNorm;
        Complex z = complexMultiply(w.re, w.im, w.re, w.im);
        zx = z.re;
        zy = z.im;
        x = zx;
        y = zy;
        point.magnitude = std::sqrt(x * x + y * y);
        if (bof) trackBof(point, n);
        if (zmag && point.magnitude > maxMag) maxMag = point.magnitude;
        distToOne = std::sqrt((x - 1.0) * (x - 1.0) + y * y);
    }

    return magnetismEnding(point, p, SecondKind, SecondKind && !ZPlane, s.specialColoring, n, distToOne, maxMag);
}

inline void buildNewtonTables(NewtonTables& t, double param1) {
    // The dialog keeps the degree within 2..20; a record from elsewhere is
    // held to the tables' bounds rather than read past them.
    double whole = std::trunc(param1);
    std::int32_t n = whole >= maxNewtonDegree ? maxNewtonDegree : (whole >= 1.0 ? static_cast<std::int32_t>(whole) : 1);
    t.degree = n;
    t.shrink = static_cast<double>(n - 1) / static_cast<double>(n);
    t.invDegree = 1.0 / static_cast<double>(n);
    t.tolerance = 1e-6;
    for (std::int32_t k = 0; k < n; ++k) {
        t.rootAngles[static_cast<std::size_t>(k)] = (6.283185307179586 / n) * k;
        t.roots[static_cast<std::size_t>(k)] = {std::cos(t.rootAngles[static_cast<std::size_t>(k)]),
                                                std::sin(t.rootAngles[static_cast<std::size_t>(k)])};
    }
}

// Newton finds the basin of the root it converged to when the colouring
// needs it: a colour per basin (param2), or binary or solid outside colouring.
inline bool findsNewtonBasin(const FractalParams& p) {
    return p.param2 != 0.0 || p.outsideColoring == OutsideColoring::Binary ||
           p.outsideColoring == OutsideColoring::Solid;
}

// The end of a Newton orbit after `m` passes begun, at (zx, zy): shared by the
// kernel and the row engine (which applies it to a vector loop's outcome).
// A point that reached a root (`atRoot`) takes the root within 1e-6 as its
// basin and, with param2, a colour offset per basin. Returns the count the
// colouring takes; every Newton point counts as escaped.
inline std::int32_t newtonEnding(const NewtonTables& t, const FractalParams& p, bool specialColoring, bool atRoot,
                                 std::int32_t m, double zx, double zy, PointState& point, std::int32_t& basinIndex) {
    const std::int32_t n = t.degree;
    std::int32_t offset = 0;
    basinIndex = noBasin;
    if (atRoot && findsNewtonBasin(p)) {
        std::int32_t basin = 0;
        while (basin < n) {
            const auto& root = t.roots[static_cast<std::size_t>(basin)];
            double dx = zx - root[0];
            double dy = zy - root[1];
            if (dx * dx + dy * dy < 1e-6) break;
            ++basin;
        }
        if (p.param2 != 0.0) {
            std::int32_t sel = specialColoring ? (basin & 7) + 8 * (m & 1) + 1 : basin;
            offset = (256 / n) * sel;
        }
        if (basin < n) basinIndex = basin;
    }
    point.magnitude = p.sizeLimit + 1.0;
    return (offset + m) % 255 + 1;
}

inline std::int32_t newton(KernelState& s, double& x, double& y, std::int32_t column, std::int32_t row) {
    const FractalParams& p = s.params;
    NewtonTables& t = s.newton;
    if (column == 0 && row == 0) buildNewtonTables(t, p.param1);
    const std::int32_t n = t.degree;
    double zx = x;
    double zy = y;
    std::int32_t m = 0;
    bool atRoot = false;
    // The test is made before the increment, so m ends at iterations + 1
    // when the limit stops the loop.
    for (;;) {
        bool more = m < p.iterations;
        ++m;
        if (!more) break;
        Complex w = complexPower(zx, zy, n - 1);
        Complex pz = complexMultiply(w.re, w.im, zx, zy);
        if ((pz.re - 1.0) * (pz.re - 1.0) + pz.im * pz.im >= 1e-6) {
            double wNorm = w.re * w.re + w.im * w.im;
            if (wNorm < 1e-18) break;
            double stepX = (t.invDegree * w.re) / wNorm;
            double stepY = (t.invDegree * -w.im) / wNorm;
            zx = t.shrink * zx + stepX;
            zy = t.shrink * zy + stepY;
            continue;
        }
        atRoot = true;
        break;
    }
    x = zx;
    y = zy;
    return newtonEnding(t, p, s.specialColoring, atRoot, m, zx, zy, s.point, t.basinIndex);
}

// One point of the state's type, for loops that dispatch per point. Static
// and always inlined, so that each caller's unit gets its own copy: the orbit
// of a local point then stays in registers instead of going through memory
// each pass (left to itself, GCC stopped inlining it into the row engine
// once that grew, and the rows that recompute points ran a quarter slower).
__attribute__((always_inline)) static inline std::int32_t iterateInline(KernelState& s, double& x, double& y,
                                                                        std::int32_t column, std::int32_t row) {
    switch (s.type) {
        case FractalType::Julia: return julia(s, x, y);
        case FractalType::MagnetismIQ: return magnetism<false, false>(s, x, y);
        case FractalType::MagnetismIZ: return magnetism<false, true>(s, x, y);
        case FractalType::MagnetismIIQ: return magnetism<true, false>(s, x, y);
        case FractalType::MagnetismIIZ: return magnetism<true, true>(s, x, y);
        case FractalType::Mandelbrot: return mandelbrot(s, x, y);
        case FractalType::Newton: return newton(s, x, y, column, row);
        case FractalType::SelfSquaredDragons: return selfSquaredDragons(s, x, y);
        case FractalType::Sine: return sine(s, x, y);
        case FractalType::TileJulia: return tileJulia(s, x, y);
        case FractalType::VolterraLotka: return volterraLotka(s, x, y, column, row);
    }
    return 0;
}

// Calls visit(kernel) with the kernel of `type` as a callable
// (state, x, y, column, row), so that a loop over a row's points can be
// instantiated per type and do no per-point dispatch. A type outside the catalogue yields
// 0 for every point.
template <typename Visit>
decltype(auto) visitKernel(FractalType type, Visit&& visit) {
    using S = KernelState;
    switch (type) {
        case FractalType::Julia: return visit([](S& s, double& x, double& y, int, int) { return julia(s, x, y); });
        case FractalType::MagnetismIQ:
            return visit([](S& s, double& x, double& y, int, int) { return magnetism<false, false>(s, x, y); });
        case FractalType::MagnetismIZ:
            return visit([](S& s, double& x, double& y, int, int) { return magnetism<false, true>(s, x, y); });
        case FractalType::MagnetismIIQ:
            return visit([](S& s, double& x, double& y, int, int) { return magnetism<true, false>(s, x, y); });
        case FractalType::MagnetismIIZ:
            return visit([](S& s, double& x, double& y, int, int) { return magnetism<true, true>(s, x, y); });
        case FractalType::Mandelbrot:
            return visit([](S& s, double& x, double& y, int, int) { return mandelbrot(s, x, y); });
        case FractalType::Newton:
            return visit([](S& s, double& x, double& y, int c, int r) { return newton(s, x, y, c, r); });
        case FractalType::SelfSquaredDragons:
            return visit([](S& s, double& x, double& y, int, int) { return selfSquaredDragons(s, x, y); });
        case FractalType::Sine: return visit([](S& s, double& x, double& y, int, int) { return sine(s, x, y); });
        case FractalType::TileJulia:
            return visit([](S& s, double& x, double& y, int, int) { return tileJulia(s, x, y); });
        case FractalType::VolterraLotka:
            return visit([](S& s, double& x, double& y, int c, int r) { return volterraLotka(s, x, y, c, r); });
    }
    return visit([](S&, double&, double&, int, int) { return std::int32_t{0}; });
}

}  // namespace fernwise::kernels
