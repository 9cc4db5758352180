// The reference step (with the plain brain_forward): slow, plain, and the measure the fast step must match bit for bit.
#pragma once

struct simulation;

// One step of the world, exactly as sim_step() computes it, one atan2 per visible cell and creature.
void sim_step_reference(simulation &s);
