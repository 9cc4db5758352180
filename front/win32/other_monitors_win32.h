// The monitors of the Windows desktop: the main one for the picture, the others covered black.
#pragma once

#include "picture_layout.h"

// The main monitor in the desktop's coordinates; false when Windows cannot tell.
bool main_monitor(pixel_rect &out);

// Covers every other monitor with a black window that stays above everything until the process ends.
void cover_other_monitors();
