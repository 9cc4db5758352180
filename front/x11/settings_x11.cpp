// X11: the hosts keep a hack's settings themselves and pass them as options, so nothing is stored here.
#include "platform.h"

bool settings_stored(run_settings &) { return false; }

bool settings_dialog(unsigned long) { return false; }
