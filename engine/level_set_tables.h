#pragma once

#include <cstdint>
#include <vector>

namespace fernwise {

// The per-count ranges of the continuous potential gathered by the level-set
// sampling pass, in extended precision. Entry n covers iteration count n;
// there are iterations + 1 entries.
struct LevelSetTables {
    std::vector<long double> levelLow;
    std::vector<long double> levelHigh;

    std::size_t entryCount() const { return levelLow.size(); }
};

// t = sqrt((0.5 ln m) / 2^n), in extended precision. The division by 2^n is
// an exact scaling, so large counts neither overflow nor lose the value.
long double potentialValue(std::int32_t count, double magnitude);

// The 24-bit fraction of a point that escaped with `count` passes and squared
// modulus `magnitude`. Without tables, or for a count the tables do not
// cover, the fraction is 0.
double levelSetFraction(const LevelSetTables* tables, std::int32_t count, double magnitude);

}  // namespace fernwise
