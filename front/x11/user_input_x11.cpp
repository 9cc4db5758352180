// On X11 Allegro's own input is all there is, and the process ends through Allegro's exit.
#include "platform.h"

void user_input_watch_from_now() {}

bool user_input_seen() { return false; }

void process_end(int) {}
