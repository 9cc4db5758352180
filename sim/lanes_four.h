// What the builds of four double lanes make alike from their own primitives: the gather (from4),
// the appending of a cone test's mask four bits at a time (append_set_bits) and, unless the build
// defines LANES_OWN_REGROW, regrowth four cells at a time (select_le, at_least).
#pragma once

namespace {

const int lanes = 4;
inline vd gather(const double *p, const int *at) { return from4(p[at[0]], p[at[1]], p[at[2]], p[at[3]]); }

inline int append_wide(int *out, int base, int mask)
{
    int n = 0;
    for (int h = 0; h < wide; h += 4)
        n += append_set_bits(out + n, base + h, mask >> h & 15);
    return n;
}

#ifndef LANES_OWN_REGROW
const int regrow_lanes = wide;
inline int regrow_wide(float *food, const float *rate)
{
    const vf f = loadf(food);
    const vf grown = to_f(vadd(to_d(f), vmul(to_d(loadf(rate)), splat(0.02))));
    const vf now = select_le(f, 1.0f, grown, f);
    storef(food, now);
    return at_least(now, 0.1f);
}
#endif

} // namespace
