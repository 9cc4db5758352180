// Building a brand-new world, and giving every slot a random colour.
#pragma once

#include "world.h"

struct simulation;

// Every new world is the same: the generator restarts at 1.  The field's size before the reset is
// the caller's to read first (the screen paints over what it covered).
void world_reset(simulation &s);
void colorize(world_state &w);
