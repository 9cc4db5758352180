// The fast step's hot loops with AVX-512, eight double lanes, and a forward pass eight neurons
// wide; built with -mavx512f -mfma and used only when the processor has both.
#include "lanes_avx512.h"
#include "step_kernels.h"

#define STEP_KERNELS_OWN_FORWARD
#include "step_kernels.inc"

namespace {

// Layer l of `together` creatures at once, their neurons eight to a vector, one per double
// lane; each lane adds its own terms in the reference's order, so every sum is the
// reference's sum.  A weight and an input are floats, so their product is exact in double
// (24 + 24 bits, no overflow or underflow): the fused multiply-add rounds once, where the
// reference's add rounds.  Several creatures side by side give the processor independent
// sums to overlap.  in[c] holds the previous layer's outputs (the inputs as
// floats, later layers' as doubles); out[c] receives this layer's.
template <int l, int together, class value>
inline __attribute__((always_inline)) void forward_layer8(creature *cr, const brain_weights *w, const value (*in)[padded_capacity],
                                                          double (*out)[padded_capacity], bool last)
{
    using shape = regrouped_layer<l>;
    // Whole vectors of eight neurons, then at most one of four: a layer of 20 takes 8 + 8 + 4.
    constexpr int n_in = shape::inputs, pad = shape::row, groups = pad / 8, tail = pad % 8;
    static_assert(tail == 0 || tail == 4, "a row of weights is whole vectors of eight, then at most one of four");
    __m512d sum[together][groups];
    __m256d tail_sum[together];
#pragma GCC unroll 8
    for (int c = 0; c < together; c++) {
#pragma GCC unroll 8
        for (int g = 0; g < groups; g++)
            sum[c][g] = _mm512_loadu_pd(layer_of<l>(w[c]).b + 8 * g);
        if constexpr (tail != 0)
            tail_sum[c] = _mm256_loadu_pd(layer_of<l>(w[c]).b + 8 * groups);
    }
    for (int k = 0; k < n_in; k++) {
#pragma GCC unroll 8
        for (int c = 0; c < together; c++) {
            const __m512d x = _mm512_set1_pd((double)in[c][k]);
            const float *row = layer_of<l>(w[c]).w + k * pad;
#pragma GCC unroll 8
            for (int g = 0; g < groups; g++)
                sum[c][g] = _mm512_fmadd_pd(_mm512_maskz_cvtps_pd(0xFF, _mm256_loadu_ps(row + 8 * g)), x, sum[c][g]);
            if constexpr (tail != 0)
                tail_sum[c] = _mm256_fmadd_pd(_mm256_cvtps_pd(_mm_loadu_ps(row + 8 * groups)), _mm256_set1_pd((double)in[c][k]), tail_sum[c]);
        }
    }
    const int written = outputs_written(l, last);
#pragma GCC unroll 8
    for (int c = 0; c < together; c++) {
        float f[pad];
#pragma GCC unroll 8
        for (int g = 0; g < groups; g++) {
            const __m256 o = _mm512_maskz_cvtpd_ps(0xFF, sum[c][g]);
            _mm256_storeu_ps(f + 8 * g, o);
            _mm512_storeu_pd(out[c] + 8 * g, _mm512_maskz_cvtps_pd(0xFF, o));
        }
        if constexpr (tail != 0) {
            const __m128 o = _mm256_cvtpd_ps(tail_sum[c]);
            _mm_storeu_ps(f + 8 * groups, o);
            _mm256_storeu_pd(out[c] + 8 * groups, _mm256_cvtps_pd(o));
        }
        for (int n = 0; n < written; n++)
            cr[c].neurons[l][n].output = f[n];
    }
}

template <int together>
inline __attribute__((always_inline)) void forward_some8(creature *cr, const brain_weights *w, const network_inputs *in,
                                                         bool last)
{
    double a[together][padded_capacity], b[together][padded_capacity];
    forward_layer8<1, together>(cr, w, in, a, last);
    forward_layer8<2, together>(cr, w, a, b, last);
    forward_layer8<3, together>(cr, w, b, a, last);
    forward_layer8<4, together>(cr, w, a, b, last);
}

// Three creatures at a time: a fused sum waits on its previous term, and the other creatures'
// sums fill that wait (two left some of it unused).
void kernel_forward8(creature *cr, const brain_weights *w, const network_inputs *in, int count, bool last)
{
    int c = 0;
    for (; c + 3 <= count; c += 3)
        forward_some8<3>(cr + c, w + c, in + c, last);
    for (; c + 2 <= count; c += 2)
        forward_some8<2>(cr + c, w + c, in + c, last);
    for (; c < count; c++)
        forward_some8<1>(cr + c, w + c, in + c, last);
}

} // namespace

extern const step_kernels step_kernels_avx512 = {"avx512", kernel_regrow_and_list, kernel_sense, kernel_forward8};
