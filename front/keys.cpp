// The keyboard commands, by Allegro scancode.
#include "keys.h"

#include "field.h"
#include "handover.h"
#include "reset.h"
#include "world.h"

int text_background = -1;

void text_background_follow_display() { text_background = world.display_on ? -1 : 0; }

void key_command(int scancode)
{
    switch (scancode) {
    case scancode_f1:
        world.info_on = !world.info_on;
        break;
    case scancode_f2:
        colorize();
        break;
    case scancode_f3:
        world.display_on = !world.display_on;
        text_background_follow_display();
        break;
    case scancode_f4:
        field_reset();
        break;
    case scancode_f12:
        world_reset();
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
