// The level-set pass's row loop for AVX-512 (eight doubles per vector). This
// unit alone is built with -mavx512f; the pass calls it only when the
// processor has AVX-512.

#include "level_set_pass_simd.h"
#include "level_set_pass_simd_impl.h"
#include "simd_ops_avx512.h"

namespace fernwise {
namespace {

void runAvx512(const PassRowConstants& c, const PassRowSeeds& seeds, const PassRowRecords& records, int count) {
    pass_impl::runPassRow<Avx512>(c, seeds, records, count);
}

}  // namespace

PassRowFunction passRowAvx512() { return &runAvx512; }

}  // namespace fernwise
