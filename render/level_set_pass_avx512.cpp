// The level-set pass's row loop for AVX-512 (eight doubles per vector). This
// unit alone is built with -mavx512f; the pass calls it only when the
// processor has AVX-512.

#include <immintrin.h>

#include "level_set_pass_simd.h"
#include "level_set_pass_simd_impl.h"

namespace fernwise {
namespace {

struct Avx512 {
    using D = __m512d;
    using M = __mmask8;
    static constexpr int lanes = 8;
    static constexpr int registers = 32;
    static constexpr unsigned allLanes = 0xffu;

    static D set1(double v) { return _mm512_set1_pd(v); }
    static D loadu(const double* p) { return _mm512_loadu_pd(p); }
    static void storeu(double* p, D v) { _mm512_storeu_pd(p, v); }
    static D add(D a, D b) { return _mm512_add_pd(a, b); }
    static D sub(D a, D b) { return _mm512_sub_pd(a, b); }
    static D mul(D a, D b) { return _mm512_mul_pd(a, b); }
    // A sign-bit operation: exact, as fabs is.
    static D abs(D a) { return _mm512_abs_pd(a); }
    static M lt(D a, D b) { return _mm512_cmp_pd_mask(a, b, _CMP_LT_OQ); }
    static M le(D a, D b) { return _mm512_cmp_pd_mask(a, b, _CMP_LE_OQ); }
    static M eq(D a, D b) { return _mm512_cmp_pd_mask(a, b, _CMP_EQ_OQ); }
    static M land(M a, M b) { return static_cast<M>(a & b); }
    static D select(M m, D ifTrue, D ifFalse) { return _mm512_mask_blend_pd(m, ifFalse, ifTrue); }
    static unsigned bits(M m) { return m; }
};

void runAvx512(const PassRowConstants& c, const PassRowSeeds& seeds, const PassRowRecords& records, int count) {
    pass_impl::runPassRow<Avx512>(c, seeds, records, count);
}

}  // namespace

PassRowFunction passRowAvx512() { return &runAvx512; }

}  // namespace fernwise
