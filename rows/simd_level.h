#pragma once

#include <optional>
#include <string_view>

namespace fernwise {

// The widest vector instructions a row may be computed with. Every level
// gives the same image; only the speed differs.
enum class SimdLevel { Scalar = 0, Avx2 = 1, Avx512 = 2 };

// The widest level this build and this processor both support.
SimdLevel bestSimdLevel();
bool simdLevelSupported(SimdLevel level);
// `level` when supported, else the widest supported level below it.
SimdLevel supportedSimdLevel(SimdLevel level);

std::string_view simdLevelName(SimdLevel level);  // "scalar", "avx2", "avx512"
std::optional<SimdLevel> parseSimdLevel(std::string_view text);

}  // namespace fernwise
