#pragma once

// The vector operations of AVX-512 (eight doubles per vector) that the vector
// loops are written over. Only units built with -mavx512f include this; it
// lives in an anonymous namespace so that each keeps its own copy and nothing
// built for wider instructions is shared with the rest of the program.

// GCC 12 warns about the deliberately undefined pass-through operand inside
// its own _mm512_sqrt_pd.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#pragma GCC diagnostic ignored "-Wuninitialized"
#endif

#include <immintrin.h>

#include <cstdint>

namespace fernwise {
namespace {

struct Avx512 {
    using D = __m512d;
    using M = __mmask8;
    static constexpr int lanes = 8;
    static constexpr int registers = 32;

    static D set1(double v) { return _mm512_set1_pd(v); }
    static D load(const double* p) { return _mm512_load_pd(p); }
    static void store(double* p, D v) { _mm512_store_pd(p, v); }
    static D add(D a, D b) { return _mm512_add_pd(a, b); }
    static D sub(D a, D b) { return _mm512_sub_pd(a, b); }
    static D mul(D a, D b) { return _mm512_mul_pd(a, b); }
    static D div(D a, D b) { return _mm512_div_pd(a, b); }
    static D sqrt(D a) { return _mm512_sqrt_pd(a); }
    // Sign-bit operations: exact, as the scalar unary minus and fabs are.
    static D neg(D a) {
        return _mm512_castsi512_pd(_mm512_xor_si512(_mm512_castpd_si512(a), _mm512_set1_epi64(INT64_MIN)));
    }
    static D abs(D a) { return _mm512_abs_pd(a); }
    static M lt(D a, D b) { return _mm512_cmp_pd_mask(a, b, _CMP_LT_OQ); }
    static M le(D a, D b) { return _mm512_cmp_pd_mask(a, b, _CMP_LE_OQ); }
    static M gt(D a, D b) { return _mm512_cmp_pd_mask(a, b, _CMP_GT_OQ); }
    static M ge(D a, D b) { return _mm512_cmp_pd_mask(a, b, _CMP_GE_OQ); }
    static M eq(D a, D b) { return _mm512_cmp_pd_mask(a, b, _CMP_EQ_OQ); }
    static M land(M a, M b) { return static_cast<M>(a & b); }
    static M landNot(M a, M b) { return static_cast<M>(a & ~b); }
    static D select(M m, D ifTrue, D ifFalse) { return _mm512_mask_blend_pd(m, ifFalse, ifTrue); }
    static unsigned bits(M m) { return m; }

    static constexpr unsigned allLanes = 0xffu;
    static D loadu(const double* p) { return _mm512_loadu_pd(p); }
    static void storeu(double* p, D v) { _mm512_storeu_pd(p, v); }
    // Writes the lanes of `mask` to p[lane]; the others stay untouched.
    static void maskStore(double* p, unsigned mask, D v) { _mm512_mask_storeu_pd(p, static_cast<__mmask8>(mask), v); }

    // For the loops that hand each lane its own point.
    static M fromBits(unsigned b) { return static_cast<M>(b); }
    // a + b in the lanes of m, src elsewhere (one merge-masked add).
    static D maskAdd(D src, M m, D a, D b) { return _mm512_mask_add_pd(src, m, a, b); }
    // a + p[0..8) with p read by the add itself (so the compiler cannot keep
    // it in a register), in the lanes of m; src elsewhere.
    static D maskAddFrom(D src, M m, D a, const double* p) {
        asm("vaddpd %[p], %[a], %[r]%{%[m]%}"
            : [r] "+v"(src)
            : [m] "Yk"(m), [a] "v"(a), [p] "m"(*reinterpret_cast<const double(*)[lanes]>(p)));
        return src;
    }
    // 2x as a real multiply: GCC turns 2.0 * x into x + x (the same bits),
    // which crowds the adders while the multipliers idle.
    static D twice(D two, D x) {
        D r;
        asm("vmulpd %[x], %[two], %[r]" : [r] "=v"(r) : [two] "v"(two), [x] "v"(x));
        return r;
    }
    static D addFrom(D a, const double* p) {
        D r;
        asm("vaddpd %[p], %[a], %[r]"
            : [r] "=v"(r)
            : [a] "v"(a), [p] "m"(*reinterpret_cast<const double(*)[lanes]>(p)));
        return r;
    }
    // The lanes of m packed to the front, in order; the rest zero.
    static D compress(unsigned m, D v) { return _mm512_maskz_compress_pd(static_cast<__mmask8>(m), v); }
    // The front elements of v spread over the lanes of m, in order; the rest zero.
    static D expand(unsigned m, D v) { return _mm512_maskz_expand_pd(static_cast<__mmask8>(m), v); }
};

}  // namespace
}  // namespace fernwise
