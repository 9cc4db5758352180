// Four double lanes in one AVX register; only for files built with -mavx2 and run after a processor check.
#pragma once

#include <immintrin.h>

#include <cstdint>

namespace {

typedef __m256d vd;
typedef __m128 vf;

inline vd splat(double a) { return _mm256_set1_pd(a); }
inline vd from4(double a, double b, double c, double d) { return _mm256_set_pd(d, c, b, a); }
inline vd loadd(const double *p) { return _mm256_loadu_pd(p); }
inline void stored(double *p, vd a) { _mm256_storeu_pd(p, a); }
inline vd vadd(vd a, vd b) { return _mm256_add_pd(a, b); }
inline vd vsub(vd a, vd b) { return _mm256_sub_pd(a, b); }
inline vd vmul(vd a, vd b) { return _mm256_mul_pd(a, b); }
inline vd vdiv(vd a, vd b) { return _mm256_div_pd(a, b); }
inline vd vsqrt(vd a) { return _mm256_sqrt_pd(a); }
inline vd vabs(vd a) { return _mm256_andnot_pd(_mm256_set1_pd(-0.0), a); }
inline vd vmax(vd a, vd b) { return _mm256_max_pd(a, b); }
inline vd vmin(vd a, vd b) { return _mm256_min_pd(a, b); }

// A mask is a vd whose lanes are all ones (true) or all zeros (false); ordered, non-signalling.
inline vd vge(vd a, vd b) { return _mm256_cmp_pd(a, b, _CMP_GE_OQ); }
inline vd vle(vd a, vd b) { return _mm256_cmp_pd(a, b, _CMP_LE_OQ); }
inline vd vlt(vd a, vd b) { return _mm256_cmp_pd(a, b, _CMP_LT_OQ); }
inline vd veq(vd a, vd b) { return _mm256_cmp_pd(a, b, _CMP_EQ_OQ); }
inline vd vboth(vd m, vd n) { return _mm256_and_pd(m, n); }
inline vd vselect(vd m, vd a, vd b) { return _mm256_blendv_pd(b, a, m); }
inline int movemask(vd m) { return _mm256_movemask_pd(m); }
// Truncation toward zero of lanes known to lie in int range; anything else gives -2^31.
inline void store_trunc(int *p, vd a) { _mm_storeu_si128((__m128i *)p, _mm256_cvttpd_epi32(a)); }

inline vf loadf(const float *p) { return _mm_loadu_ps(p); }
inline void storef(float *p, vf a) { _mm_storeu_ps(p, a); }
inline vd to_d(vf a) { return _mm256_cvtps_pd(a); }
inline vf to_f(vd a) { return _mm256_cvtpd_ps(a); }
// Lanes of x where a <= limit, of y elsewhere; the float bits are kept as they are.
inline vf select_le(vf a, float limit, vf x, vf y)
{
    return _mm_blendv_ps(y, x, _mm_cmp_ps(a, _mm_set1_ps(limit), _CMP_LE_OQ));
}

// Four weights of four neurons turned into four vectors of one weight of each neuron:
// out[m] = (r0[m], r1[m], r2[m], r3[m]) as doubles.
inline void columns(const float *r0, const float *r1, const float *r2, const float *r3, vd out[4])
{
    __m128 a = _mm_loadu_ps(r0), b = _mm_loadu_ps(r1), c = _mm_loadu_ps(r2), d = _mm_loadu_ps(r3);
    _MM_TRANSPOSE4_PS(a, b, c, d);
    out[0] = _mm256_cvtps_pd(a);
    out[1] = _mm256_cvtps_pd(b);
    out[2] = _mm256_cvtps_pd(c);
    out[3] = _mm256_cvtps_pd(d);
}
inline void store_f_lanes(vd a, float *p0, float *p1, float *p2, float *p3)
{
    const __m128 f = _mm256_cvtpd_ps(a);
    _mm_store_ss(p0, f);
    _mm_store_ss(p1, _mm_shuffle_ps(f, f, 1));
    _mm_store_ss(p2, _mm_shuffle_ps(f, f, 2));
    _mm_store_ss(p3, _mm_shuffle_ps(f, f, 3));
}

// The cone test's lanes: floats, as many as one register holds (here eight).
typedef __m256 vw;
const int wide = 8;
inline vw wload(const float *p) { return _mm256_loadu_ps(p); }
inline vw wsplat(float a) { return _mm256_set1_ps(a); }
inline vw wsub(vw a, vw b) { return _mm256_sub_ps(a, b); }
inline vw wmul(vw a, vw b) { return _mm256_mul_ps(a, b); }
// Bit l set where a and b are both >= 0 in lane l.
inline int wboth_nonnegative(vw a, vw b)
{
    const __m256 zero = _mm256_setzero_ps();
    return _mm256_movemask_ps(_mm256_and_ps(_mm256_cmp_ps(a, zero, _CMP_GE_OQ), _mm256_cmp_ps(b, zero, _CMP_GE_OQ)));
}

// For each 4-bit mask, the positions of its set bits, then zeros; and how many are set.
alignas(16) const int32_t set_bit_at[16][4] = {{0, 0, 0, 0}, {0, 0, 0, 0}, {1, 0, 0, 0}, {0, 1, 0, 0},
                                               {2, 0, 0, 0}, {0, 2, 0, 0}, {1, 2, 0, 0}, {0, 1, 2, 0},
                                               {3, 0, 0, 0}, {0, 3, 0, 0}, {1, 3, 0, 0}, {0, 1, 3, 0},
                                               {2, 3, 0, 0}, {0, 2, 3, 0}, {1, 2, 3, 0}, {0, 1, 2, 3}};
const int set_bit_count[16] = {0, 1, 1, 2, 1, 2, 2, 3, 1, 2, 2, 3, 2, 3, 3, 4};

// Writes base + the positions of the set bits of a 4-bit mask, in order, to out[0 ..];
// out[0 .. 3] may all be written.  Returns the number of set bits.
inline int append_set_bits(int *out, int base, int mask)
{
    const __m128i at = _mm_load_si128((const __m128i *)set_bit_at[mask]);
    _mm_storeu_si128((__m128i *)out, _mm_add_epi32(at, _mm_set1_epi32(base)));
    return set_bit_count[mask];
}

// Bit l set where lane l of a is >= limit.
inline int at_least(vf a, float limit) { return _mm_movemask_ps(_mm_cmpge_ps(a, _mm_set1_ps(limit))); }

// Regrowth of regrow_lanes cells, as cell_regrow does it to each; bit l of the result is set where
// cell l's food is then at least 0.1 (in double, which is food >= 0.1f in float: no float
// lies in [0.1, 0.1f)).
const int regrow_lanes = wide;
inline int regrow_wide(float *food, const float *rate)
{
    const __m256 f = _mm256_loadu_ps(food), r = _mm256_loadu_ps(rate);
    const __m256d step = _mm256_set1_pd(0.02);
    const __m128 lo = _mm256_cvtpd_ps(_mm256_add_pd(_mm256_cvtps_pd(_mm256_castps256_ps128(f)),
                                                    _mm256_mul_pd(_mm256_cvtps_pd(_mm256_castps256_ps128(r)), step)));
    const __m128 hi = _mm256_cvtpd_ps(_mm256_add_pd(_mm256_cvtps_pd(_mm256_extractf128_ps(f, 1)),
                                                    _mm256_mul_pd(_mm256_cvtps_pd(_mm256_extractf128_ps(r, 1)), step)));
    const __m256 grown = _mm256_insertf128_ps(_mm256_castps128_ps256(lo), hi, 1);
    const __m256 now = _mm256_blendv_ps(f, grown, _mm256_cmp_ps(f, _mm256_set1_ps(1.0f), _CMP_LE_OQ));
    _mm256_storeu_ps(food, now);
    return _mm256_movemask_ps(_mm256_cmp_ps(now, _mm256_set1_ps(0.1f), _CMP_GE_OQ));
}

// Lanes of vd, and the doubles p[at[0]], ..., p[at[lanes - 1]].
const int lanes = 4;
inline vd gather(const double *p, const int *at) { return from4(p[at[0]], p[at[1]], p[at[2]], p[at[3]]); }

// Writes base + the positions of the set bits of a mask of `wide` bits, in order, to out[0 ..];
// out[0 .. wide-1] may all be written.  Returns the number of set bits.
inline int append_wide(int *out, int base, int mask)
{
    int n = 0;
    for (int h = 0; h < wide; h += 4)
        n += append_set_bits(out + n, base + h, mask >> h & 15);
    return n;
}

} // namespace
