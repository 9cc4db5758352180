// The fast step's hot loops in plain C++: any processor, and a check on the vector builds.
#include "lanes_portable.h"
#include "step_kernels.h"

#include "step_kernels.inc"

extern const step_kernels step_kernels_portable = {"portable", kernel_regrow_and_list, kernel_sense, kernel_forward};
