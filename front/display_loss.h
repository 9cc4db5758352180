// The display going away (logout, an X crash, the host destroying the window; on Windows the session ending): a stop like SIGTERM.
#pragma once

// The platform's half is display_loss_guard (platform.h).  When the display goes away the run is
// stopped and the `finish` given there runs exactly once: on the main thread after its step in
// progress, or, when the main thread is stuck inside Xlib (or waits on Allegro's window thread), on
// the thread that saw the loss after a grace period.  `finish` must save the world and end the
// process with _exit, without calling into X or Allegro again.

// True once the display has gone away: nothing may call into X from then on.
bool display_lost();

// Runs `finish` if the display has gone away and nobody runs it yet; called by the main thread
// once its loop has ended.  Returns only when the display is still there.
void display_loss_finish();

// For the platform layers: `finish` is kept for display_loss_end, which tells the loss once, stops
// the run, runs `finish` once (here when on the main thread, else after a grace period in which the
// main thread normally does it) and never returns, since returning would let the platform end the process.
void display_loss_set_finish(void (*finish)());
[[noreturn]] void display_loss_end(const char *what, bool on_main_thread);

// The host's window is gone (an X error on it, or its DestroyNotify): the run stops, the world is
// saved as usual, and nothing may draw into the window again.  `why` is told once.
void display_loss_window_gone(const char *why);
bool display_window_gone();
