// A creature's linear five-layer network: forward pass, random weights, mutated inheritance.
#pragma once

void brain_forward(int c);
void brain_randomize(int c);
void brain_inherit(int child, int parent);

// Tells the step that weights were written from outside the brain functions (a load, a test):
// whatever it keeps derived from them must be rebuilt before the next step.
void brains_changed();
