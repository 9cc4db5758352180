// The screen-saver conventions: Windows starts a *.scr with /s, /c or /p; X11 hosts pass --root or --window-id.
#pragma once

#include <string>

// True when the program is a ".scr" given "/c" (there is no settings dialog), or "/p" where the
// platform draws no preview (`previews` false) or no window handle follows: it should return at once.
// Any other name or argument means run normally.
bool screen_saver_quits(int argc, const char *const *argv, bool previews = false);

// True when the program is a ".scr" given "/c" (Windows' Settings button): the settings dialog, owned
// by the window of "/c:HWND" or "/c HWND" (*owner, 0 when none), instead of a run.
bool screen_saver_configure(int argc, const char *const *argv, unsigned long *owner);

// How an X11 host (XScreenSaver and the hosts that reuse its hacks) asked the program to run.
enum class saver_mode {
    own_screen,  // no host: the program opens its own full screen and takes the keyboard and mouse
    host_window, // --root: the user's world shown in the host's window (or the root window)
    preview,     // --window-id: the world as it stands shown in a small window, nothing written
};

// When `error` is non-empty the arguments cannot be followed (a window id that is no number) and
// mode is own_screen.  `window` is the X window to draw into; 0 with host_window means the root window.
struct saver_launch {
    saver_mode mode = saver_mode::own_screen;
    unsigned long window = 0;
    std::string error;
};

// Reads "--root" / "-root" and "--window-id ID" / "-window-id ID" (hexadecimal "0x..." or decimal)
// from the arguments; `host_window` is the XSCREENSAVER_WINDOW value, or null when it is not set.
// A window id on the command line wins over --root (the settings dialog appends it to the --root
// command).  With `previews` (Windows), a ".scr" given "/p HWND" or "/p:HWND" is a preview in that
// window.  Every other argument is ignored.
saver_launch screen_saver_launch(int argc, const char *const *argv, const char *host_window, bool previews = false);

// What the command line asks besides a run: "--help" or "-h" a short usage, "--version" the version; the
// first one given wins (a --window-id's value is never one).  Answered on stdout before the display is opened.
enum class info_request { none, usage, version };
info_request info_requested(int argc, const char *const *argv);
// The usage: the arguments, the keys and where the world lives for this build.
std::string usage_text();
// "life 1.0.0"
std::string version_text();
