// The network's forward pass, its random initial weights and its mutated copy.
#include "brain.h"

#include "rng.h"
#include "simulation.h"
#include "step_weights.h"
#include "world.h"

// The plain pass: the reference step runs it, and the fast step's vector kernels must match it bit for bit.
void brain_forward(world_state &w, int c)
{
    creature &cr = w.creatures[c];
    for (int l = 1; l < layer_count; l++) {
        const neuron *in = cr.neurons[l - 1];
        const int n_in = layer_sizes[l - 1];
        for (int n = 0; n < layer_sizes[l]; n++) {
            neuron &ne = cr.neurons[l][n];
            double sum = ne.bias;
            for (int k = 0; k < n_in; k++)
                sum += (double)ne.weight[k] * (double)in[k].output;
            ne.output = (float)sum;
        }
    }
}

void brain_randomize(simulation &s, int c)
{
    brain_weights_forget(s, c);
    world_state &w = s.world;
    creature &cr = w.creatures[c];
    for (int l = 1; l < layer_count; l++) {
        for (int n = 0; n < layer_sizes[l]; n++) {
            neuron &ne = cr.neurons[l][n];
            ne.tag = 1;
            ne.bias = (float)((rng_next(w) % 200 - 100) * 0.02);
            ne.output = 0;
            for (int k = 0; k < layer_sizes[l - 1]; k++)
                ne.weight[k] = (float)((rng_next(w) % 2000 - 1000) * 0.002);
        }
    }
}

void brain_inherit(simulation &s, int child, int parent)
{
    brain_weights_forget(s, child);
    world_state &w = s.world;
    creature &ch = w.creatures[child];
    const creature &pa = w.creatures[parent];
    for (int l = 1; l < layer_count; l++) {
        for (int n = 0; n < layer_sizes[l]; n++) {
            neuron &cn = ch.neurons[l][n];
            const neuron &pn = pa.neurons[l][n];
            cn.tag = pn.tag;
            cn.bias = (float)((double)pn.bias + (rng_next(w) % 2000 - 1000) * 0.0001);
            cn.output = 0;
            for (int k = 0; k < layer_sizes[l - 1]; k++)
                cn.weight[k] = (float)((double)pn.weight[k] + (rng_next(w) % 2000 - 1000) * 0.0001);
        }
    }
}
