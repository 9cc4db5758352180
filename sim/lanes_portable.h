// Four double lanes in plain C++, for processors without a vector build; the model the others follow.
#pragma once

namespace {

struct vd {
    double v[4];
};
struct vf {
    float v[4];
};

#define LANES_MAP(expr)            \
    vd r;                          \
    for (int l = 0; l < 4; l++)    \
        r.v[l] = (expr);           \
    return r

inline vd splat(double a) { return vd{{a, a, a, a}}; }
inline vd from4(double a, double b, double c, double d) { return vd{{a, b, c, d}}; }
inline vd loadd(const double *p) { return vd{{p[0], p[1], p[2], p[3]}}; }
inline void stored(double *p, vd a)
{
    for (int l = 0; l < 4; l++)
        p[l] = a.v[l];
}
inline vd vadd(vd a, vd b) { LANES_MAP(a.v[l] + b.v[l]); }
inline vd vsub(vd a, vd b) { LANES_MAP(a.v[l] - b.v[l]); }
inline vd vmul(vd a, vd b) { LANES_MAP(a.v[l] * b.v[l]); }
inline vd vdiv(vd a, vd b) { LANES_MAP(a.v[l] / b.v[l]); }
inline vd vsqrt(vd a) { LANES_MAP(__builtin_sqrt(a.v[l])); }
inline vd vabs(vd a) { LANES_MAP(__builtin_fabs(a.v[l])); }
inline vd vmax(vd a, vd b) { LANES_MAP(a.v[l] > b.v[l] ? a.v[l] : b.v[l]); }
inline vd vmin(vd a, vd b) { LANES_MAP(a.v[l] < b.v[l] ? a.v[l] : b.v[l]); }

// A mask is a vd whose lanes are 1 (true) or 0 (false).
inline vd vle(vd a, vd b) { LANES_MAP(a.v[l] <= b.v[l] ? 1.0 : 0.0); }
inline vd vlt(vd a, vd b) { LANES_MAP(a.v[l] < b.v[l] ? 1.0 : 0.0); }
inline vd veq(vd a, vd b) { LANES_MAP(a.v[l] == b.v[l] ? 1.0 : 0.0); }
inline vd vselect(vd m, vd a, vd b) { LANES_MAP(m.v[l] != 0 ? a.v[l] : b.v[l]); }
inline void store_trunc(int *p, vd a)
{
    for (int l = 0; l < 4; l++)
        p[l] = a.v[l] > -2e9 && a.v[l] < 2e9 ? (int)a.v[l] : (int)0x80000000u;
}

inline vf loadf(const float *p) { return vf{{p[0], p[1], p[2], p[3]}}; }
inline void storef(float *p, vf a)
{
    for (int l = 0; l < 4; l++)
        p[l] = a.v[l];
}
inline vd to_d(vf a) { LANES_MAP((double)a.v[l]); }
inline vf to_f(vd a)
{
    vf r;
    for (int l = 0; l < 4; l++)
        r.v[l] = (float)a.v[l];
    return r;
}
// Lanes of a where a <= limit, of b elsewhere; the float bits are kept as they are.
inline vf select_le(vf a, float limit, vf x, vf y)
{
    vf r;
    for (int l = 0; l < 4; l++)
        r.v[l] = a.v[l] <= limit ? x.v[l] : y.v[l];
    return r;
}


// The cone test's lanes: floats, as many as one register holds (here four).
typedef vf vw;
const int wide = 4;
inline vw wload(const float *p) { return loadf(p); }
inline vw wsplat(float a) { return vf{{a, a, a, a}}; }
inline vw wsub(vw a, vw b)
{
    vw r;
    for (int l = 0; l < 4; l++)
        r.v[l] = a.v[l] - b.v[l];
    return r;
}
inline vw wmul(vw a, vw b)
{
    vw r;
    for (int l = 0; l < 4; l++)
        r.v[l] = a.v[l] * b.v[l];
    return r;
}
inline int wboth_nonnegative(vw a, vw b)
{
    int bits = 0;
    for (int l = 0; l < 4; l++)
        bits |= (a.v[l] >= 0 && b.v[l] >= 0) << l;
    return bits;
}

// Writes base + the positions of the set bits of a 4-bit mask, in order, to out[0 ..];
// out[0 .. 3] may all be written.  Returns the number of set bits.
inline int append_set_bits(int *out, int base, int mask)
{
    int n = 0;
    for (int l = 0; l < 4; l++) {
        out[n] = base + l;
        n += mask >> l & 1;
    }
    return n;
}

// Bit l set where lane l of a is >= limit.
inline int at_least(vf a, float limit)
{
    int bits = 0;
    for (int l = 0; l < 4; l++)
        bits |= (a.v[l] >= limit) << l;
    return bits;
}

#undef LANES_MAP

} // namespace

#include "lanes_four.h"
