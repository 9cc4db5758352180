// The seam between the front end and the system it runs on: everything a platform provides, stated once.
// X11 and POSIX: front/x11/*_x11.cpp and front/posix/*_posix.cpp.  Windows: front/win32/*_win32.cpp.
// Platform code reports what went wrong as values; the shared front end decides what to show.
#pragma once

#include "picture_layout.h"

#include <cstdint>
#include <string>

// ---------------------------------------------------------------- the program's own screen

// Sets a 32-bit graphics mode for a picture_w x picture_h picture and says which part of the screen
// is the monitor the picture goes on.  X11: full screen at the desktop's own size (the video mode is
// never switched), the primary monitor's part; Windows: the picture's own mode, else the desktop's.
// Where a better mode was tried and not had, *given_up says so, a line for each (empty otherwise).
// False when no mode at all could be had.
bool present_mode_open(int picture_w, int picture_h, pixel_rect &monitor, std::string *given_up);

// The shared half the platforms' modes end with (present.cpp): a window of the picture's size with
// Allegro's `driver`, the whole window the monitor; and the main monitor's part of the screen where
// the platform found one inside it, else the whole screen.
bool present_mode_windowed(int driver, int picture_w, int picture_h, pixel_rect &monitor);
pixel_rect present_mode_monitor(bool found, const pixel_rect &main_monitor);

// ---------------------------------------------------------------- a screen-saver host's window

// Pixels as 0xRRGGBB, `rows[y][x]` for 0 <= x < w, 0 <= y < h (an Allegro 32-bit bitmap's lines).
struct picture_rows {
    const uint32_t *const *rows = nullptr;
    int w = 0, h = 0;
};

// Whether a ".scr" started with "/p HWND" (the Screen Saver settings' preview) draws into that
// window: on Windows; X11 hosts name their window with --window-id instead.
bool window_present_scr_previews();

// Takes `window`, which a host made and owns, as the place to draw, the picture scaled to it as on
// a large screen; keeps following its size.  X11: a window (0: the root window) through a connection
// of our own, never selecting input beyond its structure, never mapping or grabbing anything.
// Windows: a child window of the preview's window, drawn with GDI.  False with *why set when the
// window cannot be used.
bool window_present_open(unsigned long window, int picture_w, int picture_h, std::string *why);
// Shows picture pixels [x0, x1) x [y0, y1) at their scaled place, like present_picture.
void window_present_picture(const picture_rows &picture, int x0, int y0, int x1, int y1);
// Puts `pixels` unscaled with its top left corner at (x, y) of the window (text in the margin).
void window_present_unscaled(const picture_rows &pixels, int x, int y);
// The margin band beside the picture in the window, as present_margin.
bool window_present_margin(pixel_rect &band);
// Black over the whole window.
void window_present_clear();
// Reads what the server has sent without waiting: a new size of the window (true: the picture has a
// new place and everything must be shown again) or its destruction (the run stops).  Once per frame.
bool window_present_follow_size();
// Waits until the server has carried out everything sent: for measurements and read-backs, never per frame.
void window_present_sync();
// True when frames go through shared memory (MIT-SHM), false when they are sent whole.
bool window_present_shared();
// Frees the image and closes the connection; leaves the window itself alone.
void window_present_close();

// ---------------------------------------------------------------- the user's input, as the system saw it

// From now on any keyboard or mouse input the system sees ends the run, whatever reaches Allegro:
// Windows asks GetLastInputInfo, so a starved or unfocused input thread never keeps the screen
// saver up.  X11 has only Allegro's own input: user_input_seen is always false there.
void user_input_watch_from_now();
bool user_input_seen();

// ---------------------------------------------------------------- the pointer's place on the desktop

// Notes where the pointer is, before the program's screen opens (X11's full screen moves it to the centre).
void pointer_remember();
// Puts the pointer back where pointer_remember found it, once the screen is closed; nothing when nothing was
// noted.  X11: through a connection of its own; Windows: SetCursorPos.
void pointer_put_back();

// ---------------------------------------------------------------- the end of the process

// Ends the process with `status` once its world is saved and its lock released.  X11 returns
// through Allegro's exit; Windows ends at once, since Allegro's DirectX exit handlers under Wine
// took two seconds after the save, and there is nothing left to tidy.
void process_end(int status);

// ---------------------------------------------------------------- stop requests from outside

// SIGTERM, SIGHUP and SIGINT (a host, a session ending, kill) on POSIX; Ctrl+C and Ctrl+Break on Windows.
// Holds them back before Allegro starts: its own SIGTERM handler shuts the library down inside the
// signal handler, which can deadlock when the signal lands in the middle of the start-up.
void stop_signals_hold();
// Puts our handlers in place (a stop ends the run like the mouse: the step in progress finishes and
// the world is saved) and lets any signal that came meanwhile through.
void stop_signals_take();

// ---------------------------------------------------------------- the display or the session going away

// X11: Xlib's I/O error handler, so the end never comes from inside Xlib.  Windows: WM_ENDSESSION on
// Allegro's window, held until the world is saved.  Either way the platform calls display_loss_end
// (display_loss.h), which stops the run and runs `finish` once.
void display_loss_guard(void (*finish)());

// ---------------------------------------------------------------- the settings a host's dialog keeps

struct run_settings;

// Reads the settings the user chose in the system's own screen-saver dialog over `s`: Windows keeps
// them per user in the registry; X11 hosts pass options instead, so nothing is stored (false).
bool settings_stored(run_settings &s);
// Windows' "/c" ("/c:HWND" names the window that owns it, else 0): a small dialog with the settings,
// OK and Cancel, kept where settings_stored reads them; returns when it closes.  False where the
// platform has no such dialog (X11, whose hosts have their own).
bool settings_dialog(unsigned long owner);
