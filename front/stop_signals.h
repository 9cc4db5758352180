// Stop requests from outside the program: SIGTERM (a screen-saver host, a session ending), SIGHUP, SIGINT.
#pragma once

// Holds the stop signals back before Allegro starts: its own SIGTERM handler shuts the library down
// inside the signal handler, which can deadlock when the signal lands in the middle of the start-up.
void stop_signals_hold();

// Puts our handlers in place (a stop signal ends the run like the mouse: the step in progress
// finishes and the world is saved) and lets any signal that came meanwhile through.
void stop_signals_take();
