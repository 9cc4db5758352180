// The counters of a world's life and the figures of the living.
#include "life.h"

#include "simulation.h"

#include <cstring>

void life_clear(world_life &l) { std::memset(&l, 0, sizeof l); }

bool life_equal(const world_life &a, const world_life &b) { return std::memcmp(&a, &b, sizeof a) == 0; }

void life_birth(world_life &l, int child, int parent)
{
    l.generation[child] = l.generation[parent] + 1;
    l.born_at[child] = l.steps;
}

void life_count_meal(simulation &s) { s.life.food_eaten++; }

void life_generations(const simulation &s, uint64_t &highest, double &mean)
{
    const int population = s.world.population;
    highest = 0;
    double sum = 0;
    for (int c = 0; c < population; c++) {
        sum += (double)s.life.generation[c];
        if (s.life.generation[c] > highest)
            highest = s.life.generation[c];
    }
    mean = population > 0 ? sum / population : 0.0;
}

life_figures life_figures_of(const simulation &s)
{
    const world_state &w = s.world;
    life_figures f{};
    f.population = w.population;
    double eaten = 0, resources = 0, age = 0;
    for (int c = 0; c < w.population; c++) {
        const creature &cr = w.creatures[c];
        eaten += (double)cr.eaten;
        resources += (double)cr.resources;
        age += (double)cr.age;
        if (c == 0 || (double)cr.eaten > f.eaten_best)
            f.eaten_best = (double)cr.eaten;
    }
    if (w.population > 0) {
        f.eaten_mean = eaten / w.population;
        f.resources_mean = resources / w.population;
        f.age_mean = age / w.population;
    }
    life_generations(s, f.generation_max, f.generation_mean);
    for (int i = 0; i < w.field_width; i++)
        for (int j = 0; j < w.field_height; j++) {
            const float food = w.cell_food[cell_index(i, j)];
            if (food > 0)
                f.food_on_field += (double)food;
        }
    return f;
}
