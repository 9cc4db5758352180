// The step's constants, and the phases the fast and the reference step share: clearing the
// senses before sensing, and acting on each network's commands after thinking.
#pragma once

#include "life.h"
#include "selection.h"
#include "world.h"

#include <cmath>

// A sector that sees nothing: no food, the nearest food far beyond the field.
constexpr float empty_sector_food = 0.0f, empty_sector_near = 1000.0f;
// A cell is sensed only with at least this much food.
constexpr double visible_food = 0.1;
// A sector is truncate(relative angle * sector_scale + sector_offset).
constexpr double sector_scale = 10, sector_offset = 5;
// How the two commands steer: speed = |push * speed_gain|, angle += turn * turn_gain.
constexpr double speed_gain = 0.0002, turn_gain = 0.0001;
// Costs per step: per unit of |turn|, per unit of speed, and for living.
constexpr double turn_cost = 1.0 / 65536, speed_cost = 1.0 / 256, living_cost = 0.00001;
// A move is refused unless 0 < new coordinate < size - edge_margin.
constexpr double edge_margin = 0.125;
// Food left on a cell just eaten; anything below it is a border cell, which costs border_penalty.
constexpr float eaten_marker = -1.0f;
constexpr double border_penalty = 0.001;

// The first phase: every live creature's senses empty, before the cells are sensed.
void clear_senses(world_state &w);

// The last but one phase for creature c, once its network has run: its new speed and heading, then, if it is
// exhausted, its replacement; otherwise its costs, its move and its meal.  heading(c, angle,
// cos_a, sin_a) gives the cos and sin of the new heading (the fast step keeps them for its next
// sensing); a template so that the step's loop pays no call.
// `world` is s's world, handed in beside it so that this header needs no more of the simulation.
template <class heading_fn> inline void act(simulation &s, world_state &world, int c, heading_fn heading)
{
    creature &me = world.creatures[c];
    const double turn = me.neurons[output_layer][output_turn].output;
    const double push = me.neurons[output_layer][output_push].output;
    me.speed = (float)std::fabs(push * speed_gain);
    me.angle = (float)((double)me.angle + turn * turn_gain);
    if (me.angle > M_PI)
        me.angle = (float)((double)me.angle - 2 * M_PI);
    else if (me.angle < -M_PI)
        me.angle = (float)((double)me.angle + 2 * M_PI);

    if (me.resources <= 0) {
        replace_exhausted(s, c);
        return;
    }
    me.resources =
        (float)((double)me.resources - (std::fabs(turn) * turn_cost + (double)me.speed * speed_cost + living_cost));
    double cos_a, sin_a;
    heading(c, me.angle, cos_a, sin_a);
    const double nx = (double)me.x + (double)me.speed * cos_a;
    if (0 < nx && nx < world.field_width - edge_margin)
        me.x = (float)nx;
    const double ny = (double)me.y + (double)me.speed * sin_a;
    if (0 < ny && ny < world.field_height - edge_margin)
        me.y = (float)ny;

    const int idx = cell_index((int)me.x, (int)me.y);
    const float food = world.cell_food[idx];
    if (food > 0) {
        me.resources = (float)((double)me.resources + (double)food);
        me.eaten = (float)((double)me.eaten + (double)food);
        world.cell_food[idx] = eaten_marker;
        life_count_meal(s);
    } else if (food < eaten_marker) {
        me.resources = (float)((double)me.resources - border_penalty);
        me.eaten = (float)((double)me.eaten - border_penalty);
    }
}

// The last phase: one more step this second, and in the world's life.
void count_step(world_state &w, world_life &l);
