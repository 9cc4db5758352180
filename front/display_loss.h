// The display going away (logout, an X crash, the host destroying the window; on Windows the session ending): a stop like SIGTERM.
#pragma once

// X11 (display_loss.cpp): Xlib's I/O error handler, so the end never comes from inside Xlib.
// Windows (display_loss_windows.cpp): WM_ENDSESSION on Allegro's window, held until the world is saved.
// When the display goes away the run is stopped and `finish` runs exactly once: on the main thread
// after its step in progress, or, when the main thread is stuck inside Xlib (or waits on Allegro's
// window thread), on the thread that saw the loss after a grace period.  `finish` must save the
// world and end the process with _exit, without calling into X or Allegro again.
void display_loss_guard(void (*finish)());

// True once the display has gone away: nothing may call into X from then on.
bool display_lost();

// Runs `finish` if the display has gone away and nobody runs it yet; called by the main thread
// once its loop has ended.  Returns only when the display is still there.
void display_loss_finish();

// The platform layers' shared half: `finish` is kept for display_loss_end, which stops the run, runs
// `finish` once (here when on the main thread, else after a grace period in which the main thread
// normally does it) and never returns, since returning would let the platform end the process.
void display_loss_set_finish(void (*finish)());
[[noreturn]] void display_loss_end(const char *what, bool on_main_thread);
// What the end of the run will do, for the line that tells of the loss: "saving the world and
// stopping" only once there is a world this run saves.
const char *display_loss_outcome();

// The window a screen-saver host gave us, drawn through its own connection `host`: Xlib protocol
// errors on that connection (BadWindow, BadDrawable when the host destroys the window) stop the run
// like SIGTERM instead of ending the process; errors on other connections go to the previous handler.
struct _XDisplay;
void display_loss_watch_window(_XDisplay *host);

// The host's window is gone (an error above, or its DestroyNotify): the run stops, the world is saved
// as usual, and nothing may draw into the window again.  `why` goes to stderr once.
void display_loss_window_gone(const char *why);
bool display_window_gone();
