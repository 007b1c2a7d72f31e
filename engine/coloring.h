#pragma once

#include <cstdint>

#include "kernels.h"
#include "level_set_tables.h"

namespace fernwise {

// What the colouring step reads from the plot besides the kernel state.
struct ColoringContext {
    std::int32_t rowCounter = 0;        // rows - 1 - row
    std::int32_t iterationScale = 256;  // max(iterations, 256)
    bool trueColorMode = false;
    bool levelSetTablesValid = false;
    const LevelSetTables* levelSets = nullptr;
};

// Turns what iteratePoint left behind into a palette index 0..255. Writes
// `fraction` and `blend` only where 24-bit colouring asks for them; the caller
// clears them before each point. Clears `colorDecided` when it consumes it.
std::int32_t colorPoint(KernelState& state, const ColoringContext& context, std::int32_t a, double x, double y,
                        std::int32_t column, double& fraction, bool& blend);

}  // namespace fernwise
