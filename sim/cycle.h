// The event the clock fires every 21 seconds: move the food sources, cull the worst, draw the clock text's next place.
#pragma once

struct simulation;

// Two draws of the world's generator the event makes for the screen: where the clock text goes
// next is the front end's to work out from them.
struct cycle_draws {
    int x, y;
};

cycle_draws cycle_event(simulation &s);
