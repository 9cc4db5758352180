// The one pseudo-random generator every random choice is drawn from.
#pragma once

#include <cstdint>

void rng_seed(uint32_t value);
// Advances the generator and returns 0 .. 32767.
int rng_next();
