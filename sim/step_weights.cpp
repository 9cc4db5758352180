// Each creature's network weights kept regrouped for the fast forward pass, and when to rebuild them.
#include "step_weights.h"

static_assert(layer_count == 5, "brain_weights lists the network's four computing layers");

// cache[c] is the regrouped network of world.creatures[c] whenever fresh[c] is set.  Everything
// that writes weights clears fresh: the brain functions for their slot, a load for all.
static brain_weights cache[creature_slots];
static bool fresh[creature_slots];

template <int n_in, int n_out, int pad>
static void regroup(const neuron *layer, float *w, double *b)
{
    static_assert(pad % weight_group == 0 && pad >= n_out, "whole groups of lanes");
    for (int n = 0; n < pad; n++) {
        b[n] = n < n_out ? (double)layer[n].bias : 0.0;
        for (int k = 0; k < n_in; k++)
            w[k * pad + n] = n < n_out ? layer[n].weight[k] : 0.0f;
    }
}

void brain_weights_build(const creature &cr, brain_weights &out)
{
    regroup<25, 25, 32>(cr.neurons[1], out.w1, out.b1);
    regroup<25, 20, 24>(cr.neurons[2], out.w2, out.b2);
    regroup<20, 15, 16>(cr.neurons[3], out.w3, out.b3);
    regroup<15, 5, 8>(cr.neurons[4], out.w4, out.b4);
}

const brain_weights *brain_weights_current(int count)
{
    for (int c = 0; c < count; c++) {
        if (!fresh[c]) {
            brain_weights_build(world.creatures[c], cache[c]);
            fresh[c] = true;
        }
    }
    return cache;
}

void brain_weights_forget(int c) { fresh[c] = false; }

void brain_weights_forget_all()
{
    for (int c = 0; c < creature_slots; c++)
        fresh[c] = false;
}
