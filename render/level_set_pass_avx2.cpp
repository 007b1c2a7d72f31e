// The level-set pass's row loop for AVX2 (four doubles per vector). This
// unit alone is built with -mavx2; the pass calls it only when the processor
// has AVX2. Without -mfma nothing can be fused even by accident.

#include <immintrin.h>

#include "level_set_pass_simd.h"
#include "level_set_pass_simd_impl.h"

namespace fernwise {
namespace {

struct Avx2 {
    using D = __m256d;
    using M = __m256d;
    static constexpr int lanes = 4;
    static constexpr int registers = 16;
    static constexpr unsigned allLanes = 0xfu;

    static D set1(double v) { return _mm256_set1_pd(v); }
    static D loadu(const double* p) { return _mm256_loadu_pd(p); }
    static void storeu(double* p, D v) { _mm256_storeu_pd(p, v); }
    static D add(D a, D b) { return _mm256_add_pd(a, b); }
    static D sub(D a, D b) { return _mm256_sub_pd(a, b); }
    static D mul(D a, D b) { return _mm256_mul_pd(a, b); }
    // A sign-bit operation: exact, as fabs is.
    static D abs(D a) { return _mm256_andnot_pd(_mm256_set1_pd(-0.0), a); }
    static M lt(D a, D b) { return _mm256_cmp_pd(a, b, _CMP_LT_OQ); }
    static M le(D a, D b) { return _mm256_cmp_pd(a, b, _CMP_LE_OQ); }
    static M eq(D a, D b) { return _mm256_cmp_pd(a, b, _CMP_EQ_OQ); }
    static M land(M a, M b) { return _mm256_and_pd(a, b); }
    static D select(M m, D ifTrue, D ifFalse) { return _mm256_blendv_pd(ifFalse, ifTrue, m); }
    static unsigned bits(M m) { return static_cast<unsigned>(_mm256_movemask_pd(m)); }
};

void runAvx2(const PassRowConstants& c, const PassRowSeeds& seeds, const PassRowRecords& records, int count) {
    pass_impl::runPassRow<Avx2>(c, seeds, records, count);
}

}  // namespace

PassRowFunction passRowAvx2() { return &runAvx2; }

}  // namespace fernwise
