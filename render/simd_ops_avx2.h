#pragma once

// The vector operations of AVX2 (four doubles per vector) that the vector
// loops are written over. Only units built with -mavx2 include this; it lives
// in an anonymous namespace so that each keeps its own copy and nothing built
// for wider instructions is shared with the rest of the program. Without
// -mfma nothing can be fused even by accident.

#include <immintrin.h>

#include <cstdint>

namespace fernwise {
namespace {

// AVX2 has no compress or expand of doubles: a lane permutation per mask
// (as pairs of 32-bit indices for vpermps) does the same.
struct LanePermutations {
    alignas(32) std::int32_t compress[16][8];
    alignas(32) std::int32_t expand[16][8];
};

constexpr LanePermutations makeLanePermutations() {
    LanePermutations t{};
    for (int m = 0; m < 16; ++m) {
        int packed = 0;
        for (int lane = 0; lane < 4; ++lane) {
            int from = 0;  // lanes outside the mask: any element will do
            if ((m >> lane) & 1) {
                t.compress[m][2 * packed] = 2 * lane;
                t.compress[m][2 * packed + 1] = 2 * lane + 1;
                from = packed++;
            }
            t.expand[m][2 * lane] = 2 * from;
            t.expand[m][2 * lane + 1] = 2 * from + 1;
        }
        for (int j = packed; j < 4; ++j) {
            t.compress[m][2 * j] = 0;
            t.compress[m][2 * j + 1] = 1;
        }
    }
    return t;
}

inline constexpr LanePermutations lanePermutations = makeLanePermutations();

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

    // For the loops that hand each lane its own point.
    static M fromBits(unsigned b) {
        const __m256i bit = _mm256_and_si256(_mm256_set1_epi64x(b), _mm256_setr_epi64x(1, 2, 4, 8));
        return _mm256_castsi256_pd(_mm256_cmpeq_epi64(bit, _mm256_setr_epi64x(1, 2, 4, 8)));
    }
    // a + b in the lanes of m, src elsewhere.
    static D maskAdd(D src, M m, D a, D b) { return _mm256_blendv_pd(src, _mm256_add_pd(a, b), m); }
    // a + p[0..4) with p read by the add itself (so the compiler cannot keep
    // it in a register), in the lanes of m; src elsewhere.
    // 2x as a real multiply: GCC turns 2.0 * x into x + x (the same bits),
    // which crowds the adders while the multipliers idle.
    static D twice(D two, D x) {
        D r;
        asm("vmulpd %[x], %[two], %[r]" : [r] "=x"(r) : [two] "x"(two), [x] "x"(x));
        return r;
    }
    static D addFrom(D a, const double* p) {
        D r;
        asm("vaddpd %[p], %[a], %[r]" : [r] "=x"(r) : [a] "x"(a), [p] "m"(*reinterpret_cast<const double(*)[lanes]>(p)));
        return r;
    }
    static D maskAddFrom(D src, M m, D a, const double* p) { return _mm256_blendv_pd(src, addFrom(a, p), m); }
    // The lanes of m packed to the front, in order; the rest undefined.
    static D compress(unsigned m, D v) { return permute(lanePermutations.compress[m & 15u], v); }
    // The front elements of v spread over the lanes of m, in order; the rest undefined.
    static D expand(unsigned m, D v) { return permute(lanePermutations.expand[m & 15u], v); }

private:
    static D permute(const std::int32_t* order, D v) {
        const __m256i index = _mm256_load_si256(reinterpret_cast<const __m256i*>(order));
        return _mm256_castps_pd(_mm256_permutevar8x32_ps(_mm256_castpd_ps(v), index));
    }
};

}  // namespace
}  // namespace fernwise
