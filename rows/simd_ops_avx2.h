#pragma once

// The vector operations of AVX2 (four doubles per vector) that the vector
// loops are written over. Only units built with -mavx2 include this; it lives
// in an anonymous namespace so that each keeps its own copy and nothing built
// for wider instructions is shared with the rest of the program. Without
// -mfma nothing can be fused even by accident.

#include <immintrin.h>

namespace fernwise {
namespace {

struct Avx2 {
    using D = __m256d;
    using M = __m256d;
    static constexpr int lanes = 4;
    static constexpr int registers = 16;

    static D set1(double v) { return _mm256_set1_pd(v); }
    static D load(const double* p) { return _mm256_load_pd(p); }
    static void store(double* p, D v) { _mm256_store_pd(p, v); }
    static D add(D a, D b) { return _mm256_add_pd(a, b); }
    static D sub(D a, D b) { return _mm256_sub_pd(a, b); }
    static D mul(D a, D b) { return _mm256_mul_pd(a, b); }
    static D div(D a, D b) { return _mm256_div_pd(a, b); }
    static D sqrt(D a) { return _mm256_sqrt_pd(a); }
    // Sign-bit operations: exact, as the scalar unary minus and fabs are.
    static D neg(D a) { return _mm256_xor_pd(a, _mm256_set1_pd(-0.0)); }
    static D abs(D a) { return _mm256_andnot_pd(_mm256_set1_pd(-0.0), a); }
    static M lt(D a, D b) { return _mm256_cmp_pd(a, b, _CMP_LT_OQ); }
    static M le(D a, D b) { return _mm256_cmp_pd(a, b, _CMP_LE_OQ); }
    static M gt(D a, D b) { return _mm256_cmp_pd(a, b, _CMP_GT_OQ); }
    static M ge(D a, D b) { return _mm256_cmp_pd(a, b, _CMP_GE_OQ); }
    static M eq(D a, D b) { return _mm256_cmp_pd(a, b, _CMP_EQ_OQ); }
    static M land(M a, M b) { return _mm256_and_pd(a, b); }
    static M landNot(M a, M b) { return _mm256_andnot_pd(b, a); }
    static D select(M m, D ifTrue, D ifFalse) { return _mm256_blendv_pd(ifFalse, ifTrue, m); }
    static unsigned bits(M m) { return static_cast<unsigned>(_mm256_movemask_pd(m)); }

    static constexpr unsigned allLanes = 0xfu;
    static D loadu(const double* p) { return _mm256_loadu_pd(p); }
    static void storeu(double* p, D v) { _mm256_storeu_pd(p, v); }
    // Writes the lanes of `mask` to p[lane]; the others keep their value.
    static void maskStore(double* p, unsigned mask, D v) {
        const __m256i bit = _mm256_and_si256(_mm256_set1_epi64x(mask), _mm256_setr_epi64x(1, 2, 4, 8));
        const D chosen = _mm256_castsi256_pd(_mm256_cmpeq_epi64(bit, _mm256_setr_epi64x(1, 2, 4, 8)));
        _mm256_storeu_pd(p, _mm256_blendv_pd(_mm256_loadu_pd(p), v, chosen));
    }
};

}  // namespace
}  // namespace fernwise
