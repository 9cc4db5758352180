// Four double lanes as two SSE2 registers: the x86-64 baseline, so it runs everywhere there.
#pragma once

#include "lanes_x86.h"

#include <emmintrin.h>

namespace {

struct vd {
    __m128d lo, hi;
};
typedef __m128 vf;

inline vd splat(double a) { return vd{_mm_set1_pd(a), _mm_set1_pd(a)}; }
inline vd from4(double a, double b, double c, double d) { return vd{_mm_set_pd(b, a), _mm_set_pd(d, c)}; }
inline vd loadd(const double *p) { return vd{_mm_loadu_pd(p), _mm_loadu_pd(p + 2)}; }
inline void stored(double *p, vd a)
{
    _mm_storeu_pd(p, a.lo);
    _mm_storeu_pd(p + 2, a.hi);
}
inline vd vadd(vd a, vd b) { return vd{_mm_add_pd(a.lo, b.lo), _mm_add_pd(a.hi, b.hi)}; }
inline vd vsub(vd a, vd b) { return vd{_mm_sub_pd(a.lo, b.lo), _mm_sub_pd(a.hi, b.hi)}; }
inline vd vmul(vd a, vd b) { return vd{_mm_mul_pd(a.lo, b.lo), _mm_mul_pd(a.hi, b.hi)}; }
inline vd vadd_product(vd s, vd a, vd b) { return vadd(s, vmul(a, b)); }
inline vd vdiv(vd a, vd b) { return vd{_mm_div_pd(a.lo, b.lo), _mm_div_pd(a.hi, b.hi)}; }
inline vd vsqrt(vd a) { return vd{_mm_sqrt_pd(a.lo), _mm_sqrt_pd(a.hi)}; }
inline vd vabs(vd a)
{
    const __m128d sign = _mm_set1_pd(-0.0);
    return vd{_mm_andnot_pd(sign, a.lo), _mm_andnot_pd(sign, a.hi)};
}
inline vd vmax(vd a, vd b) { return vd{_mm_max_pd(a.lo, b.lo), _mm_max_pd(a.hi, b.hi)}; }
inline vd vmin(vd a, vd b) { return vd{_mm_min_pd(a.lo, b.lo), _mm_min_pd(a.hi, b.hi)}; }

// A mask is a vd whose lanes are all ones (true) or all zeros (false).
inline vd vle(vd a, vd b) { return vd{_mm_cmple_pd(a.lo, b.lo), _mm_cmple_pd(a.hi, b.hi)}; }
inline vd vlt(vd a, vd b) { return vd{_mm_cmplt_pd(a.lo, b.lo), _mm_cmplt_pd(a.hi, b.hi)}; }
inline vd veq(vd a, vd b) { return vd{_mm_cmpeq_pd(a.lo, b.lo), _mm_cmpeq_pd(a.hi, b.hi)}; }
inline vd vselect(vd m, vd a, vd b)
{
    return vd{_mm_or_pd(_mm_and_pd(m.lo, a.lo), _mm_andnot_pd(m.lo, b.lo)),
              _mm_or_pd(_mm_and_pd(m.hi, a.hi), _mm_andnot_pd(m.hi, b.hi))};
}
inline void store_trunc(int *p, vd a)
{
    _mm_storeu_si128((__m128i *)p, _mm_unpacklo_epi64(_mm_cvttpd_epi32(a.lo), _mm_cvttpd_epi32(a.hi)));
}

inline vf loadf(const float *p) { return _mm_loadu_ps(p); }
inline void storef(float *p, vf a) { _mm_storeu_ps(p, a); }
inline vd to_d(vf a) { return vd{_mm_cvtps_pd(a), _mm_cvtps_pd(_mm_movehl_ps(a, a))}; }
inline vf to_f(vd a) { return _mm_movelh_ps(_mm_cvtpd_ps(a.lo), _mm_cvtpd_ps(a.hi)); }
// Lanes of x where a <= limit, of y elsewhere; the float bits are kept as they are.
inline vf select_le(vf a, float limit, vf x, vf y)
{
    const __m128 m = _mm_cmple_ps(a, _mm_set1_ps(limit));
    return _mm_or_ps(_mm_and_ps(m, x), _mm_andnot_ps(m, y));
}


// The cone test's lanes: floats, as many as one register holds (here four).
typedef __m128 vw;
const int wide = 4;
inline vw wload(const float *p) { return _mm_loadu_ps(p); }
inline vw wsplat(float a) { return _mm_set1_ps(a); }
inline vw wsub(vw a, vw b) { return _mm_sub_ps(a, b); }
inline vw wmul(vw a, vw b) { return _mm_mul_ps(a, b); }
inline int wboth_nonnegative(vw a, vw b)
{
    const __m128 zero = _mm_setzero_ps();
    return _mm_movemask_ps(_mm_and_ps(_mm_cmpge_ps(a, zero), _mm_cmpge_ps(b, zero)));
}

// Bit l set where lane l of a is >= limit.
inline int at_least(vf a, float limit) { return _mm_movemask_ps(_mm_cmpge_ps(a, _mm_set1_ps(limit))); }

} // namespace

#include "lanes_four.h"
