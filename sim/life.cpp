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

life_figures life_figures_of(const simulation &s)
{
    const world_state &w = s.world;
    life_figures f{};
    f.population = w.population;
    double eaten = 0, resources = 0, age = 0, generation = 0;
    for (int c = 0; c < w.population; c++) {
        const creature &cr = w.creatures[c];
        eaten += (double)cr.eaten;
        resources += (double)cr.resources;
        age += (double)cr.age;
        generation += (double)s.life.generation[c];
        if (c == 0 || (double)cr.eaten > f.eaten_best)
            f.eaten_best = (double)cr.eaten;
        if (s.life.generation[c] > f.generation_max)
            f.generation_max = s.life.generation[c];
    }
    if (w.population > 0) {
        f.eaten_mean = eaten / w.population;
        f.resources_mean = resources / w.population;
        f.age_mean = age / w.population;
        f.generation_mean = generation / w.population;
    }
    for (int i = 0; i < w.field_width; i++)
        for (int j = 0; j < w.field_height; j++) {
            const float food = w.cell_food[cell_index(i, j)];
            if (food > 0)
                f.food_on_field += (double)food;
        }
    return f;
}
