// Building a brand-new world, and giving every slot a random colour.
#pragma once

void world_reset();
void colorize();

// The front end sets this to paint the old field area before a reset; headless users leave it null.
// Arguments: the field size in pixels before the reset.
extern void (*world_reset_screen_hook)(int width_px, int height_px);
