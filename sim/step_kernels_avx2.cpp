// The fast step's hot loops with AVX2; built with -mavx2 -mfma and used only when the processor has both.
#include "lanes_avx2.h"
#include "step_kernels.h"

#include "step_kernels.inc"

extern const step_kernels step_kernels_avx2 = {"avx2", kernel_regrow_and_list, kernel_sense, kernel_forward};
