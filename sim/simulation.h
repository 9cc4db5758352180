// One world and everything the fast step derives from it: every simulation function is handed one.
#pragma once

#include "life.h"
#include "step_kernels.h"
#include "world.h"

#include <memory>

// cos and sin of a slot's heading as the move last computed them, so that sensing in the next
// step need not compute them again; valid while the heading's bits are unchanged.
struct heading_trig {
    bool known;
    float angle;
    double cos_a, sin_a;
};

// What the fast step keeps beside the world: derived values and scratch, never saved, never
// compared.  weights[c] is the regrouped network of world.creatures[c] whenever weights_fresh[c]
// is set: the brain functions clear it for the slot whose weights they write, simulation_set_world
// for every slot.
struct step_state {
    brain_weights weights[creature_slots];
    bool weights_fresh[creature_slots];
    heading_trig trig[creature_slots];
    visible_cells visible;
    sense_scratch scratch;
    sense_view views[creature_slots];
    network_inputs inputs[creature_slots];
    step_counts counts; // for the benchmark's report
};

// A world's networks are written only by the simulation's own functions, or the whole world is
// replaced by simulation_set_world; weights written any other way would leave the step running on
// the old ones.  `life` counts what the world lives through and is never read by the step.  Two
// simulations share nothing.
struct simulation {
    world_state world;
    world_life life;
    step_state step;
};

// A simulation on the heap (its scratch is megabytes), holding world_init's world and a life at zero.
std::unique_ptr<simulation> simulation_new();
// Replaces the whole world (a load, a test's scenario): what the step derived from the old one goes.
// The counters stay: they are the caller's to set.
void simulation_set_world(simulation &s, const world_state &w);
