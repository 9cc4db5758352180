// The fast step's hot loops in plain C++: any processor, and a check on the vector builds.
#include "lanes_portable.h"
#include "step_kernels.h"

#define STEP_KERNELS_OWN_FORWARD
#include "step_kernels.inc"

namespace {

// Layer l of one creature, neuron by neuron from the regrouped weights, each sum in the
// reference's order.  (GCC 12 at -O3 mis-vectorised the four-lane version of this loop here.)
template <int l, class value>
void forward_layer1(creature &cr, const brain_weights &w, const value *in, double *out, bool last)
{
    using shape = regrouped_layer<l>;
    constexpr int n_in = shape::inputs, n_out = shape::outputs, pad = shape::row;
    const float *row = layer_of<l>(w).w;
    const double *bias = layer_of<l>(w).b;
    for (int n = 0; n < n_out; n++) {
        double sum = bias[n];
        for (int k = 0; k < n_in; k++)
            sum += (double)row[k * pad + n] * (double)in[k];
        const float o = (float)sum;
        if (n < outputs_written(l, last))
            cr.neurons[l][n].output = o;
        out[n] = o;
    }
}

void kernel_forward1(creature *cr, const brain_weights *w, const network_inputs *in, int count, bool last)
{
    for (int c = 0; c < count; c++) {
        double a[padded_capacity], b[padded_capacity];
        forward_layer1<1>(cr[c], w[c], in[c], a, last);
        forward_layer1<2>(cr[c], w[c], a, b, last);
        forward_layer1<3>(cr[c], w[c], b, a, last);
        forward_layer1<4>(cr[c], w[c], a, b, last);
    }
}

} // namespace

extern const step_kernels step_kernels_portable = {"portable", kernel_regrow_and_list, kernel_sense, kernel_forward1};
