// Replacing a creature by a mutated clone of the best eater, and the periodic cull of the worst.
#pragma once

struct simulation;

void reproduce(simulation &s, int dst);
void cull_worst(simulation &s);
