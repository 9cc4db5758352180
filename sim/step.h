// One step of the world: regrow, sense, think, move, eat, replace the exhausted.
#pragma once

struct simulation;

void sim_step(simulation &s);
// n steps back to back (n >= 1), the same world as n calls of sim_step().  Only the last writes
// every network value into the records: nothing reads them between the steps of one call.
void sim_steps(simulation &s, long n);
