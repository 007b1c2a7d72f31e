// The vector loops for AVX-512 (eight doubles per vector). This unit alone is
// built with -mavx512f; the row engine calls it only when the processor has
// AVX-512.

#include <immintrin.h>

#include "simd_kernels.h"
#include "simd_kernels_impl.h"
#include "simd_ops_avx512.h"

namespace fernwise {
namespace {

bool runAvx512(const SimdPlotConstants& c, const SimdSeeds& seeds, const SimdOutcomes& outcomes, int count,
               const SimdStop& stop) {
    const bool done = simd_impl::runLoop<Avx512>(c, seeds, outcomes, count, stop);
    // The compiler cannot always tell that the loops leave the registers'
    // upper halves in use (a loop that ends in a call of a helper of its own
    // returns without clearing them); the row engine's scalar code after
    // them would then wait on those halves at every instruction.
    _mm256_zeroupper();
    return done;
}

const SimdKernelSet avx512Set{Avx512::lanes, &runAvx512};

}  // namespace

const SimdKernelSet* avx512KernelSet() { return &avx512Set; }

}  // namespace fernwise
