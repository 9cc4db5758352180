// Each creature's network weights kept regrouped for the fast forward pass, and when to rebuild them.
#pragma once

#include "world.h"

struct simulation;

enum : int {
    weight_group = 4, // outputs of a layer are padded to whole groups of this many lanes
};

// A layer of n outputs padded to whole groups.
constexpr int padded(int n) { return (n + weight_group - 1) / weight_group * weight_group; }
// Room for any layer's values, padded: the passes keep a layer's outputs in arrays this long.
constexpr int padded_capacity = padded(layer_capacity);

// Layer l's weights and biases regrouped: l's outputs padded, one row per input.
template <int l> struct regrouped_layer {
    static constexpr int inputs = layer_sizes[l - 1], outputs = layer_sizes[l], row = padded(outputs);
    alignas(64) float w[inputs * row];
    alignas(64) double b[row];
};

// One creature's weights, input-major in rows of whole groups: layer l's w[k * row + n] =
// neurons[l][n].weight[k] and b[n] = neurons[l][n].bias for n < outputs.  Lanes past a
// layer's width hold 0, so a group of lanes may be computed whole and its spare lanes thrown away.
struct brain_weights {
    regrouped_layer<1> l1;
    regrouped_layer<2> l2;
    regrouped_layer<3> l3;
    regrouped_layer<4> l4;
};
static_assert(layer_count == 5, "brain_weights holds the network's four computing layers");

// Regroups the network of one creature record.
void brain_weights_build(const creature &cr, brain_weights &out);
// The regrouped weights of slots 0 .. count-1, rebuilt where they are stale.
const brain_weights *brain_weights_current(simulation &s, int count);
// Slot c's weights changed (or every slot's): rebuild before its next forward pass.
void brain_weights_forget(simulation &s, int c);
void brain_weights_forget_all(simulation &s);
