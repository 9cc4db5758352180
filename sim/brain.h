// A creature's linear five-layer network: forward pass, random weights, mutated inheritance.
#pragma once

#include "world.h"

struct simulation;

// The plain forward pass of slot c's network.
void brain_forward(world_state &w, int c);
// New random weights for slot c, and a mutated copy of the parent's for the child.  Both draw from
// the world's generator and tell the step that the slot's weights changed.
void brain_randomize(simulation &s, int c);
void brain_inherit(simulation &s, int child, int parent);
