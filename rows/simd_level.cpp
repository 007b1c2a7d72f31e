#include "simd_level.h"

namespace fernwise {
namespace {

bool processorHas(SimdLevel level) {
#if defined(FERNWISE_X86_SIMD) && (defined(__GNUC__) || defined(__clang__))
    switch (level) {
        case SimdLevel::Scalar: return true;
        case SimdLevel::Avx2: return __builtin_cpu_supports("avx2");
        case SimdLevel::Avx512: return __builtin_cpu_supports("avx512f");
    }
    return false;
#else
    return level == SimdLevel::Scalar;
#endif
}

}  // namespace

bool simdLevelSupported(SimdLevel level) { return processorHas(level); }

SimdLevel supportedSimdLevel(SimdLevel level) {
    if (level == SimdLevel::Avx512 && !simdLevelSupported(SimdLevel::Avx512)) level = SimdLevel::Avx2;
    if (level == SimdLevel::Avx2 && !simdLevelSupported(SimdLevel::Avx2)) level = SimdLevel::Scalar;
    return level;
}

SimdLevel bestSimdLevel() {
    static const SimdLevel best = supportedSimdLevel(SimdLevel::Avx512);
    return best;
}

std::string_view simdLevelName(SimdLevel level) {
    switch (level) {
        case SimdLevel::Scalar: return "scalar";
        case SimdLevel::Avx2: return "avx2";
        case SimdLevel::Avx512: return "avx512";
    }
    return "scalar";
}

std::optional<SimdLevel> parseSimdLevel(std::string_view text) {
    for (SimdLevel level : {SimdLevel::Scalar, SimdLevel::Avx2, SimdLevel::Avx512}) {
        if (text == simdLevelName(level)) return level;
    }
    return std::nullopt;
}

}  // namespace fernwise
