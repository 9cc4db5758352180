// Four double lanes in one AVX register; only for files built with -mavx2 -mfma and run after a processor check.
#pragma once

#include "lanes_x86.h"

#include <immintrin.h>

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
// Fused: the product is exact, so the one rounding is the add's (built with -mfma, checked at run time).
inline vd vadd_product(vd s, vd a, vd b) { return _mm256_fmadd_pd(a, b, s); }
inline vd vdiv(vd a, vd b) { return _mm256_div_pd(a, b); }
inline vd vsqrt(vd a) { return _mm256_sqrt_pd(a); }
inline vd vabs(vd a) { return _mm256_andnot_pd(_mm256_set1_pd(-0.0), a); }
inline vd vmax(vd a, vd b) { return _mm256_max_pd(a, b); }
inline vd vmin(vd a, vd b) { return _mm256_min_pd(a, b); }

// A mask is a vd whose lanes are all ones (true) or all zeros (false); ordered, non-signalling.
inline vd vle(vd a, vd b) { return _mm256_cmp_pd(a, b, _CMP_LE_OQ); }
inline vd vlt(vd a, vd b) { return _mm256_cmp_pd(a, b, _CMP_LT_OQ); }
inline vd veq(vd a, vd b) { return _mm256_cmp_pd(a, b, _CMP_EQ_OQ); }
inline vd vselect(vd m, vd a, vd b) { return _mm256_blendv_pd(b, a, m); }
inline void store_trunc(int *p, vd a) { _mm_storeu_si128((__m128i *)p, _mm256_cvttpd_epi32(a)); }

inline vf loadf(const float *p) { return _mm_loadu_ps(p); }
inline void storef(float *p, vf a) { _mm_storeu_ps(p, a); }
inline vd to_d(vf a) { return _mm256_cvtps_pd(a); }
inline vf to_f(vd a) { return _mm256_cvtpd_ps(a); }

// The cone test's lanes: floats, as many as one register holds (here eight).
typedef __m256 vw;
const int wide = 8;
inline vw wload(const float *p) { return _mm256_loadu_ps(p); }
inline vw wsplat(float a) { return _mm256_set1_ps(a); }
inline vw wsub(vw a, vw b) { return _mm256_sub_ps(a, b); }
inline vw wmul(vw a, vw b) { return _mm256_mul_ps(a, b); }
inline int wboth_nonnegative(vw a, vw b)
{
    const __m256 zero = _mm256_setzero_ps();
    return _mm256_movemask_ps(_mm256_and_ps(_mm256_cmp_ps(a, zero, _CMP_GE_OQ), _mm256_cmp_ps(b, zero, _CMP_GE_OQ)));
}

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

} // namespace

#define LANES_OWN_REGROW // eight cells at a time
#include "lanes_four.h"
