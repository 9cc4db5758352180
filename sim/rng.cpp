// The 15-bit linear congruential generator; its state lives in the world so snapshots carry it.
#include "rng.h"

#include "world.h"

void rng_seed(uint32_t value) { world.rng_state = value; }

int rng_next()
{
    world.rng_state = world.rng_state * 214013u + 2531011u;
    return (int)((world.rng_state >> 16) & 0x7FFF);
}
