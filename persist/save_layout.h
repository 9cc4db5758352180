// The save file's layout: one walk over the world that the writer and the reader both take.
#pragma once

#include "world.h"

#include <memory>

// A walk hands each item, in file order, to a visitor `io` that either writes or reads it:
//   bool integer(int32_t &item, const char *name)   one "%d\n" item
//   bool real(float &item, const char *name)        one "%f\n" item
//   bool field_size(world &), bool population(world &)   the counts just walked fit the arrays
//   void cell(int i, int j), void creature(int c)   where the walk is, for messages
// (the writer gets const references).  The walk stops at the first false.

// Items 1 to 5: the counters and the field size.
template <class io, class world_t> bool walk_header(io &f, world_t &w)
{
    return f.integer(w.steps_this_second, "step count") && f.integer(w.time, "time") &&
           f.integer(w.display_on, "display flag") && f.integer(w.field_width, "field width") &&
           f.integer(w.field_height, "field height") && f.field_size(w);
}

// Item 6: food then rate of each cell in use, column by column.
template <class io, class world_t> bool walk_cells(io &f, world_t &w)
{
    for (int i = 0; i < w.field_width; i++) {
        for (int j = 0; j < w.field_height; j++) {
            f.cell(i, j);
            if (!f.real(w.cell_food[cell_index(i, j)], "food") || !f.real(w.cell_rate[cell_index(i, j)], "rate"))
                return false;
        }
    }
    return true;
}

// Item 9: one neuron of a layer with `inputs` inputs.
template <class io, class neuron_t> bool walk_neuron(io &f, neuron_t &ne, int inputs)
{
    if (!f.integer(ne.tag, "neuron tag") || !f.real(ne.bias, "neuron bias") || !f.real(ne.output, "neuron output"))
        return false;
    for (int k = 0; k < inputs; k++)
        if (!f.real(ne.weight[k], "weight"))
            return false;
    return true;
}

// Item 8 and its neurons: the colour comes last in the file, though it precedes the angle in the record.
template <class io, class creature_t> bool walk_creature(io &f, creature_t &cr)
{
    if (!f.integer(cr.age, "age") || !f.real(cr.x, "x") || !f.real(cr.y, "y") || !f.real(cr.angle, "angle") ||
        !f.real(cr.speed, "speed") || !f.real(cr.resources, "resources") || !f.real(cr.eaten, "eaten") ||
        !f.integer(cr.color, "colour"))
        return false;
    for (int l = 1; l < layer_count; l++)
        for (int n = 0; n < layer_sizes[l]; n++)
            if (!walk_neuron(f, cr.neurons[l][n], layer_sizes[l - 1]))
                return false;
    return true;
}

// The whole file: header, cells, population, then each live creature.
template <class io, class world_t> bool walk_world(io &f, world_t &w)
{
    if (!walk_header(f, w) || !walk_cells(f, w) || !f.integer(w.population, "population") || !f.population(w))
        return false;
    for (int c = 0; c < w.population; c++) {
        f.creature(c);
        if (!walk_creature(f, w.creatures[c]))
            return false;
    }
    return true;
}

// Counts the items of a walk (a line each in the file): for the size bound and for the tests.
struct item_counter {
    long long integers = 0, reals = 0;
    bool integer(const int32_t &, const char *) { return ++integers > 0; }
    bool real(const float &, const char *) { return ++reals > 0; }
    bool field_size(const world_state &) { return true; }
    bool population(const world_state &) { return true; }
    void cell(int, int) {}
    void creature(int) {}
};

// The items (lines) of a file holding a world of these counts.
inline long long save_file_items(int field_width, int field_height, int population)
{
    // The walk reads nothing but the counts.
    const std::unique_ptr<world_state> counts(new world_state());
    counts->field_width = field_width;
    counts->field_height = field_height;
    counts->population = population;
    item_counter count;
    walk_world(count, (const world_state &)*counts);
    return count.integers + count.reals;
}
