// A creature's linear five-layer network: forward pass, random weights, mutated inheritance.
#pragma once

void brain_forward(int c);
void brain_randomize(int c);
void brain_inherit(int child, int parent);
