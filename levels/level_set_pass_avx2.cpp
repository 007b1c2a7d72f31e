// The level-set pass's row loop for AVX2 (four doubles per vector). This
// unit alone is built with -mavx2; the pass calls it only when the processor
// has AVX2. Without -mfma nothing can be fused even by accident.

#include "level_set_pass_simd.h"
#include "level_set_pass_simd_impl.h"
#include "simd_ops_avx2.h"

namespace fernwise {
namespace {

void runAvx2(const PassRowConstants& c, const PassRowSeeds& seeds, const PassRowRecords& records, int count) {
    pass_impl::runPassRow<Avx2>(c, seeds, records, count);
}

}  // namespace

PassRowFunction passRowAvx2() { return &runAvx2; }

}  // namespace fernwise
