#include "coloring.h"

#include <cmath>

#include "kernels_inline.h"

namespace fernwise {
namespace {

constexpr double fullTurn = 6.283185307179586;

// Sets index and (with 24-bit colouring) fraction from a real value v; a
// value that is not finite gives index 1 and fraction 0.
void indexFromValue(double v, bool trueColor, std::int32_t& index, double& fraction, bool& blend) {
    bool finite = kernels::truncatesToIndex(v, index);
    if (trueColor) {
        fraction = finite ? v - index : 0.0;
        blend = true;
    }
}

std::int32_t mod256(std::int32_t v) { return v % 256; }

std::int32_t newtonSolid(const KernelState& s, std::int32_t a) {
    const std::int32_t basin = s.newton.basinIndex;
    if (a <= 2 || basin == noBasin) return 0;
    if (s.newton.degree % 2 != 0) return basin == 0 ? s.params.outsideColor : 0;
    return basin % 2 == 0 ? s.params.outsideColor : 0;
}

std::int32_t binaryNewton(const KernelState& s, std::int32_t index, double x, double y) {
    const std::int32_t offset = s.params.binaryOffset;
    const std::int32_t basin = s.newton.basinIndex;
    if (index <= 2 || basin == noBasin) return index;
    if (basin == 0) return y < 0.0 ? mod256(index + offset) : index;
    if (x == 0.0 && y == 0.0) return index;
    double theta = std::acos(x / std::sqrt(x * x + y * y));
    if (y < 0.0) theta = fullTurn - theta;
    if (theta < s.newton.rootAngles[static_cast<std::size_t>(basin)]) return mod256(index + offset);
    return index;
}

std::int32_t outsideIndex(KernelState& s, const ColoringContext& c, std::int32_t a, double x, double y,
                          std::int32_t column, double& fraction, bool& blend) {
    const FractalParams& p = s.params;
    std::int32_t index = 0;
    switch (p.outsideColoring) {
        case OutsideColoring::Fausto: {
            double v =
                std::fmod(static_cast<double>(4 * column + c.rowCounter) / static_cast<double>(4 * a), 255.0) + 1.0;
            indexFromValue(v, c.trueColorMode, index, fraction, blend);
            break;
        }
        case OutsideColoring::Kirlian: {
            if (s.type == FractalType::Sine) {
                if (x != 0.0 && std::fabs(x) < 1e-5) {
                    x = 1e-5;
                } else if (x > 100000.0) {
                    x = 100000.0;
                } else if (x < -100000.0) {
                    x = -100000.0;
                }
                if (y > 100000.0) {
                    y = 100000.0;
                } else if (y < -100000.0) {
                    y = -100000.0;
                }
            }
            // atan of y/0 is +-pi/2 with the sign of the IEEE quotient; 0/0 adds nothing.
            double angle = (x == 0.0 && y == 0.0) ? 0.0 : std::atan(y / x);
            double v = angle + ((std::sin(x) + 16.0) - std::cos(y));
            indexFromValue(v, c.trueColorMode, index, fraction, blend);
            break;
        }
        case OutsideColoring::Solid: return s.type == FractalType::Newton ? newtonSolid(s, a) : p.outsideColor;
        case OutsideColoring::Standard:
        case OutsideColoring::Binary: {
            index = mod256(a);
            if (c.trueColorMode) {
                fraction = c.levelSetTablesValid ? levelSetFraction(c.levelSets, a, s.point.magnitude) : 0.0;
                blend = true;
            }
            if (p.outsideColoring == OutsideColoring::Binary) {
                if (mod256(index + p.binaryOffset) == 0) index = index + 1;
                if (s.type == FractalType::Newton) {
                    index = binaryNewton(s, index, x, y);
                } else if (y < 0.0) {
                    index = mod256(index + p.binaryOffset);
                }
                blend = false;
            }
            break;
        }
    }
    if (a > 1 && index < 1) index = 1;
    if (index > 255) index = 1;
    return index;
}

std::int32_t insideIndex(const KernelState& s, const ColoringContext& c, double& fraction, bool& blend) {
    const FractalParams& p = s.params;
    std::int32_t index = 0;
    switch (p.insideColoring) {
        case InsideColoring::ZMag: {
            double v = std::fmod(static_cast<double>(c.iterationScale) * s.point.magnitude, 255.0) + 1.0;
            indexFromValue(v, c.trueColorMode, index, fraction, blend);
            break;
        }
        case InsideColoring::Bof33: {
            double v = std::fmod(static_cast<double>(c.iterationScale) * s.point.minMagnitude, 255.0) + 1.0;
            indexFromValue(v, c.trueColorMode, index, fraction, blend);
            break;
        }
        case InsideColoring::Bof34: index = s.point.minIteration % 255 + 1; break;
        case InsideColoring::Solid: return p.insideColor;
    }
    if (index < 1) index = 1;
    if (index > 255) index = 1;
    return index;
}

}  // namespace

std::int32_t colorPoint(KernelState& s, const ColoringContext& c, std::int32_t a, double x, double y,
                        std::int32_t column, double& fraction, bool& blend) {
    PointState& point = s.point;
    if (point.colorDecided) {
        point.colorDecided = false;
        std::int32_t index = point.decidedIndex;
        if (index < 1 || index > 255) index = 1;
        if (c.trueColorMode) {
            double f = point.decidedValue - point.decidedIndex;
            fraction = std::isfinite(f) ? f : 0.0;
            blend = true;
        }
        return index;
    }
    if (point.magnitude > s.params.sizeLimit) return outsideIndex(s, c, a, x, y, column, fraction, blend);
    return insideIndex(s, c, fraction, blend);
}

}  // namespace fernwise
