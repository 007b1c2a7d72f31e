// The vector loops for AVX2 (four doubles per vector). This unit alone is
// built with -mavx2; the row engine calls it only when the processor has
// AVX2. Without -mfma nothing can be fused even by accident.

#include <immintrin.h>

#include "simd_kernels.h"
#include "simd_kernels_impl.h"
#include "simd_ops_avx2.h"

namespace fernwise {
namespace {

bool runAvx2(const SimdPlotConstants& c, const SimdSeeds& seeds, const SimdOutcomes& outcomes, int count,
             const SimdStop& stop) {
    const bool done = simd_impl::runLoop<Avx2>(c, seeds, outcomes, count, stop);
    // The compiler cannot always tell that the loops leave the registers'
    // upper halves in use (a loop that ends in a call of a helper of its own
    // returns without clearing them); the row engine's scalar code after
    // them would then wait on those halves at every instruction.
    _mm256_zeroupper();
    return done;
}

const SimdKernelSet avx2Set{Avx2::lanes, &runAvx2};

}  // namespace

const SimdKernelSet* avx2KernelSet() { return &avx2Set; }

}  // namespace fernwise
