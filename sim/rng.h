// The one pseudo-random generator every random choice is drawn from; its state lives in the world.
#pragma once

#include "world.h"

void rng_seed(world_state &w, uint32_t value);
// Advances the world's generator and returns 0 .. 32767.
int rng_next(world_state &w);
