// The table of the fast step's builds, and the choice among them.
#include "step_kernels.h"

#include <cstring>

extern const step_kernels step_kernels_portable;
#ifdef LIFE_X86_KERNELS
extern const step_kernels step_kernels_sse2;
extern const step_kernels step_kernels_avx2;
extern const step_kernels step_kernels_avx512;
#endif

const step_kernels *const step_kernels_builds[] = {
    &step_kernels_portable,
#ifdef LIFE_X86_KERNELS
    &step_kernels_sse2,
    &step_kernels_avx2,
    &step_kernels_avx512,
#endif
};
const int step_kernels_build_count = sizeof step_kernels_builds / sizeof step_kernels_builds[0];

const step_kernels *step_kernels_named(const char *name)
{
    for (const step_kernels *k : step_kernels_builds)
        if (!std::strcmp(k->name, name))
            return k;
    return nullptr;
}

bool step_kernels_usable(const step_kernels &k)
{
#ifdef LIFE_X86_KERNELS
    // The feature names must be literals, hence no field of the build for them.
    if (&k == &step_kernels_avx2)
        return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
    if (&k == &step_kernels_avx512)
        return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("fma");
#endif
    (void)k;
    return true;
}

const step_kernels &step_kernels_best()
{
    static const step_kernels &best = [] () -> const step_kernels & {
        const step_kernels *widest = step_kernels_builds[0];
        for (const step_kernels *k : step_kernels_builds)
            if (step_kernels_usable(*k))
                widest = k;
        return *widest;
    }();
    return best;
}
