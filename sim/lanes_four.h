// What the builds of four double lanes make alike from their own from4, wide and append_set_bits:
// the gather and the appending of a cone test's mask, four bits at a time.
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

} // namespace
