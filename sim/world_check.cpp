// Sound-world rules shared by the loader, the saver and the long-run tests.
#include "world_check.h"

#include <cmath>
#include <cstdio>

static bool fail(std::string *why, const std::string &text)
{
    if (why)
        *why = text;
    return false;
}

bool field_size_fits(int32_t width, int32_t height, std::string *why)
{
    if (width < 1 || width > field_max_width)
        return fail(why, "field width " + std::to_string(width) + " is outside 1.." + std::to_string(field_max_width));
    if (height < 1 || height > field_max_height)
        return fail(why,
                    "field height " + std::to_string(height) + " is outside 1.." + std::to_string(field_max_height));
    return true;
}

bool population_fits(int32_t population, std::string *why)
{
    if (population < population_min || population > population_max)
        return fail(why, "population " + std::to_string(population) + " is outside " +
                             std::to_string(population_min) + ".." + std::to_string(population_max));
    return true;
}

static std::string real_fault(const char *what, double value)
{
    char text[160];
    std::snprintf(text, sizeof text, "%s is %g", what, value);
    return text;
}

bool world_check(const world_state &w, std::string *why, int *slot)
{
    if (slot)
        *slot = -1;
    if (!field_size_fits(w.field_width, w.field_height, why) || !population_fits(w.population, why))
        return false;

    for (int i = 0; i < w.field_width; i++) {
        for (int j = 0; j < w.field_height; j++) {
            const int idx = cell_index(i, j);
            if (!std::isfinite(w.cell_food[idx]) || !std::isfinite(w.cell_rate[idx])) {
                const bool food = !std::isfinite(w.cell_food[idx]);
                char what[80];
                std::snprintf(what, sizeof what, "the %s of cell (%d, %d)", food ? "food" : "rate", i, j);
                return fail(why, real_fault(what, food ? w.cell_food[idx] : w.cell_rate[idx]));
            }
        }
    }

    for (int c = 0; c < w.population; c++) {
        const creature &cr = w.creatures[c];
        if (slot)
            *slot = c;
        const float values[] = {cr.x, cr.y, cr.angle, cr.speed, cr.resources, cr.eaten};
        const char *names[] = {"x", "y", "angle", "speed", "resources", "eaten"};
        for (int v = 0; v < 6; v++) {
            if (!std::isfinite(values[v]))
                return fail(why, real_fault(("creature " + std::to_string(c) + "'s " + names[v]).c_str(), values[v]));
        }
        // The step indexes the cell arrays with the position.
        if (!(cr.x >= 0 && cr.x < (float)w.field_width && cr.y >= 0 && cr.y < (float)w.field_height)) {
            char text[160];
            std::snprintf(text, sizeof text, "creature %d stands at (%g, %g), outside the %d x %d field", c,
                          (double)cr.x, (double)cr.y, w.field_width, w.field_height);
            return fail(why, text);
        }
        for (int l = 1; l < layer_count; l++) {
            for (int n = 0; n < layer_sizes[l]; n++) {
                const neuron &ne = cr.neurons[l][n];
                bool finite = std::isfinite(ne.bias) && std::isfinite(ne.output);
                for (int k = 0; k < layer_sizes[l - 1]; k++)
                    finite = finite && std::isfinite(ne.weight[k]);
                if (!finite)
                    return fail(why, "creature " + std::to_string(c) + "'s neuron " + std::to_string(n) +
                                         " of layer " + std::to_string(l) + " holds a value that is not finite");
            }
        }
    }
    if (slot)
        *slot = -1;
    return true;
}
