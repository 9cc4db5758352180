// The event the clock fires every 21 seconds: move the food sources, cull the worst, move the clock text.
#pragma once

void cycle_event();
