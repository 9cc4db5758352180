// Four double lanes as two SSE2 registers: the x86-64 baseline, so it runs everywhere there.
#pragma once

#include <emmintrin.h>

#include <cstdint>

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
inline vd vge(vd a, vd b) { return vd{_mm_cmpge_pd(a.lo, b.lo), _mm_cmpge_pd(a.hi, b.hi)}; }
inline vd vle(vd a, vd b) { return vd{_mm_cmple_pd(a.lo, b.lo), _mm_cmple_pd(a.hi, b.hi)}; }
inline vd vlt(vd a, vd b) { return vd{_mm_cmplt_pd(a.lo, b.lo), _mm_cmplt_pd(a.hi, b.hi)}; }
inline vd veq(vd a, vd b) { return vd{_mm_cmpeq_pd(a.lo, b.lo), _mm_cmpeq_pd(a.hi, b.hi)}; }
inline vd vboth(vd m, vd n) { return vd{_mm_and_pd(m.lo, n.lo), _mm_and_pd(m.hi, n.hi)}; }
inline vd vselect(vd m, vd a, vd b)
{
    return vd{_mm_or_pd(_mm_and_pd(m.lo, a.lo), _mm_andnot_pd(m.lo, b.lo)),
              _mm_or_pd(_mm_and_pd(m.hi, a.hi), _mm_andnot_pd(m.hi, b.hi))};
}
inline int movemask(vd m) { return _mm_movemask_pd(m.lo) | _mm_movemask_pd(m.hi) << 2; }
// Truncation toward zero of lanes known to lie in int range; anything else gives -2^31.
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

// Four weights of four neurons turned into four vectors of one weight of each neuron:
// out[m] = (r0[m], r1[m], r2[m], r3[m]) as doubles.
inline void columns(const float *r0, const float *r1, const float *r2, const float *r3, vd out[4])
{
    __m128 a = _mm_loadu_ps(r0), b = _mm_loadu_ps(r1), c = _mm_loadu_ps(r2), d = _mm_loadu_ps(r3);
    _MM_TRANSPOSE4_PS(a, b, c, d);
    out[0] = to_d(a);
    out[1] = to_d(b);
    out[2] = to_d(c);
    out[3] = to_d(d);
}
inline void store_f_lanes(vd a, float *p0, float *p1, float *p2, float *p3)
{
    const __m128 f = to_f(a);
    _mm_store_ss(p0, f);
    _mm_store_ss(p1, _mm_shuffle_ps(f, f, 1));
    _mm_store_ss(p2, _mm_shuffle_ps(f, f, 2));
    _mm_store_ss(p3, _mm_shuffle_ps(f, f, 3));
}

// The cone test's lanes: floats, as many as one register holds (here four).
typedef __m128 vw;
const int wide = 4;
inline vw wload(const float *p) { return _mm_loadu_ps(p); }
inline vw wsplat(float a) { return _mm_set1_ps(a); }
inline vw wsub(vw a, vw b) { return _mm_sub_ps(a, b); }
inline vw wmul(vw a, vw b) { return _mm_mul_ps(a, b); }
// Bit l set where a and b are both >= 0 in lane l.
inline int wboth_nonnegative(vw a, vw b)
{
    const __m128 zero = _mm_setzero_ps();
    return _mm_movemask_ps(_mm_and_ps(_mm_cmpge_ps(a, zero), _mm_cmpge_ps(b, zero)));
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
    const vf f = loadf(food);
    const vf grown = to_f(vadd(to_d(f), vmul(to_d(loadf(rate)), splat(0.02))));
    const vf now = select_le(f, 1.0f, grown, f);
    storef(food, now);
    return at_least(now, 0.1f);
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
