// One step of the world: regrow, sense, think, move, eat, replace the exhausted.
#pragma once

void sim_step();
