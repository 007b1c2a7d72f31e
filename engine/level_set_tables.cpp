#include "level_set_tables.h"

#include <cmath>

namespace fernwise {

long double potentialValue(std::int32_t count, double magnitude) {
    long double halfLog = 0.5L * std::log(static_cast<long double>(magnitude));
    return std::sqrt(std::ldexp(halfLog, -count));
}

double levelSetFraction(const LevelSetTables* tables, std::int32_t count, double magnitude) {
    if (tables == nullptr || count < 0 || static_cast<std::size_t>(count) >= tables->entryCount()) return 0.0;
    const auto n = static_cast<std::size_t>(count);
    const long double low = tables->levelLow[n];
    const long double high = tables->levelHigh[n];
    if (!(low < high)) return 0.0;
    long double t = potentialValue(count, magnitude);
    double fraction = static_cast<double>(1.0L - (t - low) / (high - low));
    if (!(fraction >= 0.0)) fraction = 0.0;  // also a NaN from a non-finite t
    if (fraction > 0.999999999999999) fraction = 0.999999999999999;
    return fraction;
}

}  // namespace fernwise
