// Replacing a creature by a mutated clone of the best eater, and the periodic cull of the worst.
#pragma once

struct simulation;

// A mutated clone of the best eater in slot dst, counted in the world's life by its caller.
void reproduce(simulation &s, int dst);
// A creature in slot dst died of exhaustion: counted, and replaced.
void replace_exhausted(simulation &s, int dst);
// The worst eater replaced, counted as a cull.
void cull_worst(simulation &s);
