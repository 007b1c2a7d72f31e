#pragma once

#include <cstdint>

#include "palette.h"

namespace fernwise {

// The cycling switches and the pause between steps.
struct ColorCycling {
    bool cycling = false;
    std::uint32_t cycleDelay = 100;       // milliseconds after each step
    std::int32_t cycleSpeedPosition = 5;  // the speed dialog's remembered thumb
};

inline constexpr std::int32_t slowestCycleSpeed = 0;
inline constexpr std::int32_t fastestCycleSpeed = 20;
// The plasma window cycles at its own pace while it animates.
inline constexpr std::uint32_t plasmaCycleDelay = 40;

// The pause a speed position stands for: 200 ms at "slow" (0) down to 0 ms
// at "fast" (20). Positions outside the range are held to its ends.
std::uint32_t cycleDelayForPosition(std::int32_t position);

// The speed dialog's OK: the remembered position becomes the pause.
void confirmCycleSpeed(ColorCycling& cycling);

// One cycling step: rotates entries 1..255 one place toward lower indices and
// shows entries 1..235 through the hardware palette, which recolours every
// pixel without touching it. `hardwarePalette` offers
// animate(first, count, const PaletteEntry*), as the VirtualScreen does. The
// pause after the step is the caller's (cycleDelay).
template <typename HardwarePalette>
void cycleStep(PaletteEntries& entries, HardwarePalette& hardwarePalette) {
    rotatePaletteEntries(entries);
    hardwarePalette.animate(firstAnimatedEntry, animatedEntryCount, &entries[firstAnimatedEntry]);
}

// When the next cycling step is due, on a millisecond clock the caller
// reads: the pause of cycleDelay follows each step. A timer in the desktop
// program waits it out instead of sleeping, so the window stays responsive.
class CyclePacing {
public:
    bool due(std::int64_t nowMs) const { return !stepped_ || nowMs >= nextStepMs_; }
    // Milliseconds until the next step may run; 0 when it is due.
    std::int64_t wait(std::int64_t nowMs) const { return due(nowMs) ? 0 : nextStepMs_ - nowMs; }
    void stepped(std::int64_t nowMs, std::uint32_t cycleDelay) {
        stepped_ = true;
        nextStepMs_ = nowMs + cycleDelay;
    }
    // Cycling starts again: the first step runs at once.
    void restart() { stepped_ = false; }

private:
    bool stepped_ = false;
    std::int64_t nextStepMs_ = 0;
};

}  // namespace fernwise
