// The fast step's hot loops with AVX-512, eight double lanes, and a forward pass eight neurons
// wide; built with -mavx512f and used only when the processor has it.
#include "lanes_avx512.h"
#include "step_kernels.h"

#define STEP_KERNELS_OWN_FORWARD
#include "step_kernels.inc"

namespace {

// Weights k .. k+3 of neurons first .. first+7 of a layer (past its last neuron, the last
// again), turned into four vectors of one weight of each neuron: out[m] holds weight k+m.
// Rows of neurons i and i+4 share a register; one 4 x 4 transpose per 128-bit half.
template <int n_out>
inline __attribute__((always_inline)) void columns8(const neuron *layer, int first, int k, __m256 out[4])
{
    auto row = [&](int m) { return _mm_loadu_ps(layer[first + m < n_out ? first + m : n_out - 1].weight + k); };
    const __m256 a = _mm256_insertf128_ps(_mm256_castps128_ps256(row(0)), row(4), 1);
    const __m256 b = _mm256_insertf128_ps(_mm256_castps128_ps256(row(1)), row(5), 1);
    const __m256 c = _mm256_insertf128_ps(_mm256_castps128_ps256(row(2)), row(6), 1);
    const __m256 d = _mm256_insertf128_ps(_mm256_castps128_ps256(row(3)), row(7), 1);
    const __m256 ab_lo = _mm256_unpacklo_ps(a, b), cd_lo = _mm256_unpacklo_ps(c, d);
    const __m256 ab_hi = _mm256_unpackhi_ps(a, b), cd_hi = _mm256_unpackhi_ps(c, d);
    out[0] = _mm256_shuffle_ps(ab_lo, cd_lo, 0x44);
    out[1] = _mm256_shuffle_ps(ab_lo, cd_lo, 0xEE);
    out[2] = _mm256_shuffle_ps(ab_hi, cd_hi, 0x44);
    out[3] = _mm256_shuffle_ps(ab_hi, cd_hi, 0xEE);
}

inline __m512d widen(__m256 a) { return _mm512_maskz_cvtps_pd(0xFF, a); }

// A layer's neurons eight at a time, one per double lane, every group of eight in its own
// register; each lane adds its own terms in the reference's order, so every sum is the
// reference's sum.
template <int n_in, int n_out>
inline __attribute__((always_inline)) void forward_layer8(const neuron *inputs, neuron *layer)
{
    constexpr int groups = (n_out + 7) / 8, full = n_in / 4 * 4, rest = n_in % 4;
    double in[n_in];
    for (int k = 0; k < n_in; k++)
        in[k] = inputs[k].output;
    __m512d sum[groups];
#pragma GCC unroll 8
    for (int g = 0; g < groups; g++) {
        double bias[8];
        for (int m = 0; m < 8; m++)
            bias[m] = layer[8 * g + m < n_out ? 8 * g + m : n_out - 1].bias;
        sum[g] = _mm512_loadu_pd(bias);
    }
    for (int k = 0; k < full; k += 4) {
        const __m512d i0 = _mm512_set1_pd(in[k]), i1 = _mm512_set1_pd(in[k + 1]);
        const __m512d i2 = _mm512_set1_pd(in[k + 2]), i3 = _mm512_set1_pd(in[k + 3]);
#pragma GCC unroll 8
        for (int g = 0; g < groups; g++) {
            __m256 w[4];
            columns8<n_out>(layer, 8 * g, k, w);
            sum[g] = _mm512_add_pd(sum[g], _mm512_mul_pd(widen(w[0]), i0));
            sum[g] = _mm512_add_pd(sum[g], _mm512_mul_pd(widen(w[1]), i1));
            sum[g] = _mm512_add_pd(sum[g], _mm512_mul_pd(widen(w[2]), i2));
            sum[g] = _mm512_add_pd(sum[g], _mm512_mul_pd(widen(w[3]), i3));
        }
    }
    if (rest) {
        // The last inputs: the block of four ending at the last input, its first columns unused.
        constexpr int from = n_in - 4;
#pragma GCC unroll 8
        for (int g = 0; g < groups; g++) {
            __m256 w[4];
            columns8<n_out>(layer, 8 * g, from, w);
#pragma GCC unroll 4
            for (int m = 4 - rest; m < 4; m++)
                sum[g] = _mm512_add_pd(sum[g], _mm512_mul_pd(widen(w[m]), _mm512_set1_pd(in[from + m])));
        }
    }
#pragma GCC unroll 8
    for (int g = 0; g < groups; g++) {
        float out[8];
        _mm256_storeu_ps(out, _mm512_maskz_cvtpd_ps(0xFF, sum[g]));
        for (int m = 0; m < 8 && 8 * g + m < n_out; m++)
            layer[8 * g + m].output = out[m];
    }
}

void kernel_forward8(creature &cr)
{
    static_assert(layer_count == 5, "the layer widths below are the network's");
    forward_layer8<25, 25>(cr.neurons[0], cr.neurons[1]);
    forward_layer8<25, 20>(cr.neurons[1], cr.neurons[2]);
    forward_layer8<20, 15>(cr.neurons[2], cr.neurons[3]);
    forward_layer8<15, 5>(cr.neurons[3], cr.neurons[4]);
}

} // namespace

extern const step_kernels step_kernels_avx512 = {"avx512", kernel_regrow_and_list, kernel_sense, kernel_forward8};
