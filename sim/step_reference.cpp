// The reference step: the direct reading of the rules, kept to check the fast step against.
#include "step_reference.h"

#include "brain.h"
#include "field.h"
#include "selection.h"
#include "world.h"

#include <cmath>

// Which sensing sector a relative angle falls in, or -1 for none.  Truncation sends
// everything in (-1, 1) to 0, so sector 0 is twice as wide; a non-finite value hits nothing.
static inline int sector_of(double rel)
{
    const double s = rel * 10 + 5;
    if (!(s > -1.0 && s < 10.0))
        return -1;
    return (int)s;
}

void sim_step_reference()
{
    creature *cr = world.creatures;
    const int pop = world.population;

    for (int c = 0; c < pop; c++) {
        for (int k = 0; k < sector_count; k++) {
            cr[c].sense_food[k] = 0;
            cr[c].sense_near[k] = 1000.0f;
        }
    }

    for (int i = 0; i < world.field_width; i++) {
        for (int j = 0; j < world.field_height; j++) {
            const int idx = cell_index(i, j);
            cell_regrow(idx);
            const float food = world.cell_food[idx];
            if (!(food >= 0.1))
                continue;
            for (int c = 0; c < pop; c++) {
                creature &me = cr[c];
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

    for (int c = 0; c < pop; c++) {
        creature &me = cr[c];
        neuron *in = me.neurons[0];
        for (int k = 0; k < sector_count; k++) {
            in[input_food + k].output = me.sense_food[k];
            in[input_nearness + k].output = (float)(1.0 / ((double)me.sense_near[k] + 1.0));
        }
        in[input_speed].output = me.speed;
        in[input_angle].output = me.angle;
        brain_forward(c);

        const double turn = me.neurons[output_layer][output_turn].output;
        const double push = me.neurons[output_layer][output_push].output;
        me.speed = (float)std::fabs(push * 0.0002);
        me.angle = (float)((double)me.angle + turn * 0.0001);
        if (me.angle > M_PI)
            me.angle = (float)((double)me.angle - 2 * M_PI);
        else if (me.angle < -M_PI)
            me.angle = (float)((double)me.angle + 2 * M_PI);

        if (me.resources <= 0) {
            reproduce(c);
            continue;
        }
        me.resources = (float)((double)me.resources - (std::fabs(turn) / 65536 + (double)me.speed / 256 + 0.00001));
        const double nx = (double)me.x + (double)me.speed * std::cos((double)me.angle);
        if (0 < nx && nx < world.field_width - 0.125)
            me.x = (float)nx;
        const double ny = (double)me.y + (double)me.speed * std::sin((double)me.angle);
        if (0 < ny && ny < world.field_height - 0.125)
            me.y = (float)ny;

        const int idx = cell_index((int)me.x, (int)me.y);
        const float food = world.cell_food[idx];
        if (food > 0) {
            me.resources = (float)((double)me.resources + (double)food);
            me.eaten = (float)((double)me.eaten + (double)food);
            world.cell_food[idx] = -1.0f;
        } else if (food < -1.0) {
            me.resources = (float)((double)me.resources - 0.001);
            me.eaten = (float)((double)me.eaten - 0.001);
        }
    }

    // Unsigned so a runner that never resets the count cannot overflow into undefined behaviour.
    world.steps_this_second = (int32_t)((uint32_t)world.steps_this_second + 1u);
}
