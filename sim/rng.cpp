// The 15-bit linear congruential generator; its state lives in the world so snapshots carry it.
#include "rng.h"

void rng_seed(world_state &w, uint32_t value) { w.rng_state = value; }

int rng_next(world_state &w)
{
    w.rng_state = w.rng_state * 214013u + 2531011u;
    return (int)((w.rng_state >> 16) & 0x7FFF);
}
