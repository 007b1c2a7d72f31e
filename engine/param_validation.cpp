#include "param_validation.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <string>

namespace fernwise {

const std::array<std::string_view, 15> paramErrorMessages{
    "xmin and xmax must not be equal", "ymin and ymax must not be equal",
    "iteration range: 1 to 16384",     "size range: 1.0 to 256.0",
    "color attribute range: 0 to 255", "offset attribute range: 1 to 255",
    "cx range: -2.0 to 0.5",           "cy range: -1.5 to 1.5",
    "qx range: -2.0 to 5.0",           "qy range: 0.0 to 5.0",
    "degree range: 2 to 20",           "cx range: -2.0 to 4.0",
    "cy range: -2.0 to 2.0",           "epsilon range: -4.0 to 4.0",
    "h and p range: 0.0 to 1.0",
};

namespace {

// The dialog reads at most this many characters of a field.
constexpr std::size_t fieldChars = 29;

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }

std::string_view field(std::string_view text) {
    text = text.substr(0, std::min(text.size(), fieldChars));
    std::size_t start = 0;
    while (start < text.size() && isSpace(text[start])) ++start;
    return text.substr(start);
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// Window bounds outside the limits are held to them; a pair that ends up on
// the same side of the range collapses onto its edge (and so counts as equal)
// instead of becoming an inverted window.
bool clampPair(double& low, double& high, double limit) {
    if (low > high) std::swap(low, high);
    if (low < -limit) low = -limit;
    if (high > limit) high = limit;
    if (low > limit) low = limit;
    if (high < -limit) high = -limit;
    return low == high;
}

bool within(double v, double low, double high) { return v >= low && v <= high; }
bool within(std::int64_t v, std::int64_t low, std::int64_t high) { return v >= low && v <= high; }

}  // namespace

double parseDecimalPrefix(std::string_view text) {
    std::string_view t = field(text);
    std::size_t pos = 0;
    bool negative = false;
    if (pos < t.size() && (t[pos] == '+' || t[pos] == '-')) negative = t[pos++] == '-';
    const std::size_t numberStart = pos;
    std::size_t mantissaDigits = 0;
    while (pos < t.size() && isDigit(t[pos])) ++pos, ++mantissaDigits;
    if (pos < t.size() && t[pos] == '.') {
        ++pos;
        while (pos < t.size() && isDigit(t[pos])) ++pos, ++mantissaDigits;
    }
    if (mantissaDigits == 0) return 0.0;
    bool exponentNegative = false;
    if (pos < t.size() && (t[pos] == 'e' || t[pos] == 'E')) {
        std::size_t e = pos + 1;
        if (e < t.size() && (t[e] == '+' || t[e] == '-')) exponentNegative = t[e++] == '-';
        if (e < t.size() && isDigit(t[e])) {
            while (e < t.size() && isDigit(t[e])) ++e;
            pos = e;
        }
    }
    // from_chars is independent of the locale, unlike strtod.
    double value = 0.0;
    auto [end, error] = std::from_chars(t.data() + numberStart, t.data() + pos, value, std::chars_format::general);
    (void)end;
    if (error == std::errc::result_out_of_range) {
        value = exponentNegative ? 0.0 : std::numeric_limits<double>::infinity();
    }
    return negative ? -value : value;
}

std::int64_t parseIntegerPrefix(std::string_view text) {
    std::string_view t = field(text);
    std::size_t pos = 0;
    bool negative = false;
    if (pos < t.size() && (t[pos] == '+' || t[pos] == '-')) negative = t[pos++] == '-';
    std::int64_t value = 0;
    constexpr std::int64_t cap = std::int64_t{1} << 40;  // far beyond any accepted range
    while (pos < t.size() && isDigit(t[pos])) {
        value = std::min(cap, value * 10 + (t[pos++] - '0'));
    }
    return negative ? -value : value;
}

ParamEntry entryFromParams(const FractalParams& p) {
    ParamEntry e;
    e.mappingMode = p.mappingMode;
    e.outsideColoring = p.outsideColoring;
    e.insideColoring = p.insideColoring;
    e.xmin = p.xmin;
    e.xmax = p.xmax;
    e.ymin = p.ymin;
    e.ymax = p.ymax;
    e.iterations = p.iterations;
    e.sizeRadius = std::sqrt(p.sizeLimit);
    e.outsideColor = p.outsideColor;
    e.insideColor = p.insideColor;
    e.binaryOffset = p.binaryOffset;
    e.param1 = p.param1;
    e.param2 = p.param2;
    return e;
}

std::int32_t validateParams(FractalType type, const ParamEntry& e, FractalParams& p) {
    p.mappingMode = e.mappingMode;
    p.outsideColoring = e.outsideColoring;
    p.insideColoring = e.insideColoring;

    const bool narrow = type == FractalType::Julia || type == FractalType::Mandelbrot;
    p.xmin = e.xmin;
    p.xmax = e.xmax;
    // A bound that is not a number can only come from outside the dialog.
    if (std::isnan(p.xmin) || std::isnan(p.xmax) || clampPair(p.xmin, p.xmax, narrow ? 6.0 : 20.0)) return 0;
    p.ymin = e.ymin;
    p.ymax = e.ymax;
    if (std::isnan(p.ymin) || std::isnan(p.ymax) || clampPair(p.ymin, p.ymax, narrow ? 4.5 : 20.0)) return 1;

    if (!within(e.iterations, 1, 16384)) return 2;
    p.iterations = static_cast<std::int32_t>(e.iterations);

    const double squared = e.sizeRadius * e.sizeRadius;
    p.sizeLimit = squared;
    if (!within(squared, 1.0, 65536.0)) return 3;

    if (!within(e.outsideColor, 0, 255) || !within(e.insideColor, 0, 255)) return 4;
    p.outsideColor = static_cast<std::int32_t>(e.outsideColor);
    p.insideColor = static_cast<std::int32_t>(e.insideColor);

    if (!within(e.binaryOffset, 1, 255)) return 5;
    p.binaryOffset = static_cast<std::int32_t>(e.binaryOffset);

    struct Range {
        double low1, high1;
        std::int32_t code1;
        bool readSecond;
        double low2, high2;
        std::int32_t code2;
    };
    constexpr double any = std::numeric_limits<double>::max();
    auto checkPair = [&](const Range& r) -> std::int32_t {
        p.param1 = e.param1;
        if (!within(p.param1, r.low1, r.high1)) return r.code1;
        if (!r.readSecond) return noParamError;
        p.param2 = e.param2;
        if (!within(p.param2, r.low2, r.high2)) return r.code2;
        return noParamError;
    };
    switch (type) {
        case FractalType::Julia:
        case FractalType::TileJulia: return checkPair({-2.0, 0.5, 6, true, -1.5, 1.5, 7});
        case FractalType::MagnetismIZ:
        case FractalType::MagnetismIIZ: return checkPair({-2.0, 5.0, 8, true, 0.0, 5.0, 9});
        case FractalType::Newton: return checkPair({2.0, 20.0, 10, true, -any, any, noParamError});
        case FractalType::SelfSquaredDragons: return checkPair({-2.0, 4.0, 11, true, -2.0, 2.0, 12});
        case FractalType::Sine: return checkPair({-4.0, 4.0, 13, false, 0.0, 0.0, noParamError});
        case FractalType::VolterraLotka: return checkPair({0.0, 1.0, 14, true, 0.0, 1.0, 14});
        case FractalType::MagnetismIQ:
        case FractalType::MagnetismIIQ:
        case FractalType::Mandelbrot:
            p.param1 = 0.0;
            p.param2 = 0.0;
            return noParamError;
    }
    return noParamError;
}

}  // namespace fernwise
