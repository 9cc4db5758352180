// Each creature's network weights kept regrouped for the fast forward pass, and when to rebuild them.
#include "step_weights.h"

// cache[c] is the regrouped network of world.creatures[c] whenever fresh[c] is set.  Everything
// that writes weights clears fresh: the brain functions for their slot, a load for all.
static brain_weights cache[creature_slots];
static bool fresh[creature_slots];

template <int l> static void regroup(const neuron *layer, regrouped_layer<l> &out)
{
    using shape = regrouped_layer<l>;
    for (int n = 0; n < shape::row; n++) {
        out.b[n] = n < shape::outputs ? (double)layer[n].bias : 0.0;
        for (int k = 0; k < shape::inputs; k++)
            out.w[k * shape::row + n] = n < shape::outputs ? layer[n].weight[k] : 0.0f;
    }
}

void brain_weights_build(const creature &cr, brain_weights &out)
{
    regroup(cr.neurons[1], out.l1);
    regroup(cr.neurons[2], out.l2);
    regroup(cr.neurons[3], out.l3);
    regroup(cr.neurons[4], out.l4);
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
