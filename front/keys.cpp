// The keyboard commands, by Allegro scancode.
#include "keys.h"

#include "clock.h"
#include "field.h"
#include "handover.h"
#include "reset.h"
#include "simulation.h"
#include "world.h"

bool display_shows(const world_state &w, const front_state &f) { return w.display_on || f.always_show; }

void text_background_follow_display(const world_state &w, front_state &f)
{
    f.text_background = display_shows(w, f) ? -1 : 0;
}

void key_command(simulation &s, front_state &f, int scancode)
{
    world_state &world = s.world;
    switch (scancode) {
    case scancode_f1:
        f.info_on = !f.info_on;
        break;
    case scancode_f2:
        colorize(world);
        break;
    case scancode_f3:
        world.display_on = !world.display_on;
        text_background_follow_display(world, f);
        break;
    case scancode_f4:
        field_reset(world);
        break;
    case scancode_f12:
        world_reset(s);
        // A new world's life begins a new history; the old one is kept under another name.
        if (!f.history.path.empty()) {
            const std::string said = history_set_aside(f.history, s.life);
            if (!said.empty() && f.pending_message.empty())
                f.pending_message = said;
            front_history_row(s, f);
        }
        break;
    case scancode_minus:
    case scancode_minus_pad:
        if (world.population > population_min)
            world.population--;
        break;
    case scancode_plus_pad:
        if (world.population < population_max)
            world.population++;
        break;
    default:
        handover_stop();
        break;
    }
}
