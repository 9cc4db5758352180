// The reference step and forward pass: slow, plain, and the measure the fast step must match bit for bit.
#pragma once

// One step of the world, exactly as sim_step() computes it, one atan2 per visible cell and creature.
void sim_step_reference();
// The outputs of layers 1 to 4 of creature c, exactly as brain_forward() computes them.
void brain_forward_reference(int c);
