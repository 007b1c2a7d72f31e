#include "color_cycling.h"

#include <algorithm>

namespace fernwise {

std::uint32_t cycleDelayForPosition(std::int32_t position) {
    const std::int32_t p = std::clamp(position, slowestCycleSpeed, fastestCycleSpeed);
    return static_cast<std::uint32_t>((fastestCycleSpeed - p) * 10);
}

void confirmCycleSpeed(ColorCycling& cycling) {
    cycling.cycleDelay = cycleDelayForPosition(cycling.cycleSpeedPosition);
}

}  // namespace fernwise
