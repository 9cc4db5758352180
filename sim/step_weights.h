// Each creature's network weights kept regrouped for the fast forward pass, and when to rebuild them.
#pragma once

#include "world.h"

enum : int {
    weight_group = 8, // outputs of a layer are padded to whole groups of this many lanes
};

// One creature's weights, input-major in rows of whole groups: w1[k * 32 + n] =
// neurons[1][n].weight[k] for n < 25, and so on for layers 2 to 4 (rows of 24, 16, 8);
// b1[n] = neurons[1][n].bias.  Lanes past a layer's width hold 0, so a group of lanes may be
// computed whole and its spare lanes thrown away.
struct brain_weights {
    alignas(64) float w1[25 * 32];
    alignas(64) float w2[25 * 24];
    alignas(64) float w3[20 * 16];
    alignas(64) float w4[15 * 8];
    alignas(64) double b1[32];
    alignas(64) double b2[24];
    alignas(64) double b3[16];
    alignas(64) double b4[8];
};

// Regroups the network of one creature record.
void brain_weights_build(const creature &cr, brain_weights &out);
// The regrouped weights of slots 0 .. count-1, rebuilt where they are stale.
const brain_weights *brain_weights_current(int count);
// Slot c's weights changed (or every slot's): rebuild before its next forward pass.
void brain_weights_forget(int c);
void brain_weights_forget_all();
