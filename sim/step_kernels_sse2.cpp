// The fast step's hot loops with SSE2, the x86-64 baseline.
#include "lanes_sse2.h"
#include "step_kernels.h"

#include "step_kernels.inc"

extern const step_kernels step_kernels_sse2 = {"sse2", kernel_regrow_and_list, kernel_sense, kernel_forward};
