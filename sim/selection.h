// Replacing a creature by a mutated clone of the best eater, and the periodic cull of the worst.
#pragma once

void reproduce(int dst);
void cull_worst();
