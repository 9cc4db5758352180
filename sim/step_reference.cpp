// The reference step: the direct reading of the rules, kept to check the fast step against.
#include "step_reference.h"

#include "brain.h"
#include "field.h"
#include "simulation.h"
#include "step_phases.h"
#include "world.h"

#include <cmath>

// Which sensing sector a relative angle falls in, or -1 for none.  Truncation sends
// everything in (-1, 1) to 0, so sector 0 is twice as wide; a non-finite value hits nothing.
static inline int sector_of(double rel)
{
    const double s = rel * sector_scale + sector_offset;
    if (!(s > -1.0 && s < 10.0))
        return -1;
    return (int)s;
}

// Regrows each cell, then lets every creature sense it if it is visible.
static void regrow_and_sense(world_state &world)
{
    for (int i = 0; i < world.field_width; i++) {
        for (int j = 0; j < world.field_height; j++) {
            const int idx = cell_index(i, j);
            cell_regrow(world, idx);
            const float food = world.cell_food[idx];
            if (!(food >= visible_food))
                continue;
            for (int c = 0; c < world.population; c++) {
                creature &me = world.creatures[c];
                const double dx = (i + 0.5) - (double)me.x;
                const double dy = (j + 0.5) - (double)me.y;
                const double rel = std::atan2(dy, dx) - (double)me.angle;
                const int s = sector_of(rel);
                if (s < 0)
                    continue;
                const double d = std::sqrt(dx * dx + dy * dy);
                me.sense_food[s] = (float)((double)me.sense_food[s] + (double)food / (std::sqrt(d) + 1));
                if (d <= (double)me.sense_near[s])
                    me.sense_near[s] = (float)d;
            }
        }
    }
}

// Creature c's inputs from its senses, then its network.
static void think(world_state &world, int c)
{
    creature &me = world.creatures[c];
    neuron *in = me.neurons[0];
    for (int k = 0; k < sector_count; k++) {
        in[input_food + k].output = me.sense_food[k];
        in[input_nearness + k].output = (float)(1.0 / ((double)me.sense_near[k] + 1.0));
    }
    in[input_speed].output = me.speed;
    in[input_angle].output = me.angle;
    brain_forward(world, c);
}

static void heading_exact(int, float angle, double &cos_a, double &sin_a)
{
    cos_a = std::cos((double)angle);
    sin_a = std::sin((double)angle);
}

void sim_step_reference(simulation &s)
{
    world_state &world = s.world;
    clear_senses(world);
    regrow_and_sense(world);
    for (int c = 0; c < world.population; c++) {
        think(world, c);
        act(s, world, c, heading_exact);
    }
    count_step(world, s.life);
}
