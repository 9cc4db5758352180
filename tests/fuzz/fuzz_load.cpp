// Fuzz target: any bytes as a save file are read safely, whatever is taken is a sound world, and it can live on.
#include "cycle.h"
#include "reset.h"
#include "save_file.h"
#include "simulation.h"
#include "step.h"
#include "world.h"
#include "world_check.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include <unistd.h>

static std::string path;
static std::unique_ptr<simulation> sim; // every input's world, made afresh
static world_state new_world;

static void fresh()
{
    world_init(sim->world);
    simulation_set_world(*sim, sim->world);
    world_reset(*sim);
}

// A broken promise of the save file is a finding like any crash.
static void require(bool ok, const char *what)
{
    if (!ok) {
        fprintf(stderr, "save file fuzz: %s\n", what);
        abort();
    }
}

static void require_positions_inside(const world_state &world)
{
    for (int c = 0; c < world.population; c++) {
        const creature &cr = world.creatures[c];
        require(std::isfinite(cr.x) && std::isfinite(cr.y) && cr.x >= 0 && cr.y >= 0 &&
                    cr.x < (float)world.field_width && cr.y < (float)world.field_height,
                "a live creature stands outside the field");
    }
}

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    const char *tmp = getenv("TMPDIR");
    path = std::string(tmp && *tmp ? tmp : "/tmp") + "/life-fuzz-" + std::to_string((long)getpid()) + ".sav";
    sim = simulation_new();
    fresh();
    new_world = sim->world;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FILE *f = fopen(path.c_str(), "wb");
    if (!f)
        abort();
    if (size)
        fwrite(data, 1, size, f);
    fclose(f);

    fresh();
    world_state &world = sim->world;
    const load_outcome loaded = load_world(*sim, path.c_str());
    unlink(path.c_str());
    unlink((path + ".bad").c_str());
    require(!loaded.left_in_place, "a refused plain file was not set aside");

    if (loaded.result == load_refused) {
        require(world_equal(world, new_world), "a refused file changed the world");
        require(!loaded.message.empty(), "a refused file gave no reason");
        return 0;
    }
    require(loaded.result == load_ok, "an existing file was reported missing");
    require(world.field_width >= 1 && world.field_width <= field_max_width, "field width out of range");
    require(world.field_height >= 1 && world.field_height <= field_max_height, "field height out of range");
    require(world.population >= population_min && world.population <= population_max, "population out of range");
    std::string why;
    require(world_check(world, &why), "a taken world fails the validator");
    require_positions_inside(world);

    for (int s = 1; s <= 300; s++) {
        sim_step(*sim);
        if (s == 150)
            cycle_event(*sim);
    }
    require_positions_inside(world);
    // Huge finite values may overflow in the steps; such a world is never written.
    if (!world_check(world, &why)) {
        require(!save_world(world, path.c_str()), "a world that fails the validator was saved");
        require(access(path.c_str(), F_OK) != 0, "a refused save left a file");
    }
    return 0;
}
