// Each creature's network weights kept regrouped for the fast forward pass, and when to rebuild them.
#include "step_weights.h"

#include "simulation.h"

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

const brain_weights *brain_weights_current(simulation &s, int count)
{
    for (int c = 0; c < count; c++) {
        if (!s.step.weights_fresh[c]) {
            brain_weights_build(s.world.creatures[c], s.step.weights[c]);
            s.step.weights_fresh[c] = true;
        }
    }
    return s.step.weights;
}

void brain_weights_forget(simulation &s, int c) { s.step.weights_fresh[c] = false; }

void brain_weights_forget_all(simulation &s)
{
    for (bool &fresh : s.step.weights_fresh)
        fresh = false;
}
