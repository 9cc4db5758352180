// The monitors of the X screen: which one is the user's main monitor (RandR).
#pragma once

#include "picture_layout.h"

// The primary monitor (the first where none is primary) in the screen's coordinates; false when
// the server cannot tell (no RandR 1.5), and the whole screen is then the one monitor.
bool primary_monitor(pixel_rect &out);
