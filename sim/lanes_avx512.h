// Eight double lanes in one AVX-512 register (sixteen floats for the cone test); only for
// files built with -mavx512f and run after a processor check.
#pragma once

#include <immintrin.h>

#include <cstdint>

namespace {

typedef __m512d vd;
typedef __mmask8 vmask;
const int lanes = 8;

inline vd splat(double a) { return _mm512_set1_pd(a); }
inline void stored(double *p, vd a) { _mm512_storeu_pd(p, a); }
inline vd vadd(vd a, vd b) { return _mm512_add_pd(a, b); }
inline vd vsub(vd a, vd b) { return _mm512_sub_pd(a, b); }
inline vd vmul(vd a, vd b) { return _mm512_mul_pd(a, b); }
inline vd vdiv(vd a, vd b) { return _mm512_div_pd(a, b); }
inline vd vsqrt(vd a) { return _mm512_maskz_sqrt_pd(0xFF, a); }
inline vd vabs(vd a) { return _mm512_abs_pd(a); }
inline vd vmax(vd a, vd b) { return _mm512_maskz_max_pd(0xFF, a, b); }
inline vd vmin(vd a, vd b) { return _mm512_maskz_min_pd(0xFF, a, b); }

// Comparisons give a bit per lane; ordered, non-signalling.
inline vmask vle(vd a, vd b) { return _mm512_cmp_pd_mask(a, b, _CMP_LE_OQ); }
inline vmask vlt(vd a, vd b) { return _mm512_cmp_pd_mask(a, b, _CMP_LT_OQ); }
inline vmask veq(vd a, vd b) { return _mm512_cmp_pd_mask(a, b, _CMP_EQ_OQ); }
inline vd vselect(vmask m, vd a, vd b) { return _mm512_mask_blend_pd(m, b, a); }
inline void store_trunc(int *p, vd a) { _mm256_storeu_si256((__m256i *)p, _mm512_maskz_cvttpd_epi32(0xFF, a)); }
// The doubles p[at[0]], ..., p[at[7]].
inline vd gather(const double *p, const int *at)
{
    return _mm512_setr_pd(p[at[0]], p[at[1]], p[at[2]], p[at[3]], p[at[4]], p[at[5]], p[at[6]], p[at[7]]);
}

// The cone test's lanes: sixteen floats.
typedef __m512 vw;
const int wide = 16;
inline vw wload(const float *p) { return _mm512_loadu_ps(p); }
inline vw wsplat(float a) { return _mm512_set1_ps(a); }
inline vw wsub(vw a, vw b) { return _mm512_sub_ps(a, b); }
inline vw wmul(vw a, vw b) { return _mm512_mul_ps(a, b); }
inline int wboth_nonnegative(vw a, vw b)
{
    const __m512 zero = _mm512_setzero_ps();
    return _mm512_cmp_ps_mask(a, zero, _CMP_GE_OQ) & _mm512_cmp_ps_mask(b, zero, _CMP_GE_OQ);
}

const int regrow_lanes = 16;
inline __m256 regrow_half(__m256 f, __m256 r)
{
    const __m512d grown = _mm512_add_pd(_mm512_maskz_cvtps_pd(0xFF, f),
                                        _mm512_mul_pd(_mm512_maskz_cvtps_pd(0xFF, r), _mm512_set1_pd(0.02)));
    return _mm512_maskz_cvtpd_ps(0xFF, grown);
}
inline int regrow_wide(float *food, const float *rate)
{
    int seen = 0;
    for (int h = 0; h < 16; h += 8) {
        const __m256 f = _mm256_loadu_ps(food + h);
        const __m256 grown = regrow_half(f, _mm256_loadu_ps(rate + h));
        const __m256 now = _mm256_blendv_ps(f, grown, _mm256_cmp_ps(f, _mm256_set1_ps(1.0f), _CMP_LE_OQ));
        _mm256_storeu_ps(food + h, now);
        seen |= _mm256_movemask_ps(_mm256_cmp_ps(now, _mm256_set1_ps(0.1f), _CMP_GE_OQ)) << h;
    }
    return seen;
}

inline int append_wide(int *out, int base, int mask)
{
    const __m512i at = _mm512_add_epi32(_mm512_set1_epi32(base),
                                        _mm512_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15));
    _mm512_storeu_si512(out, _mm512_maskz_compress_epi32((__mmask16)mask, at));
    return __builtin_popcount((unsigned)mask);
}

} // namespace
