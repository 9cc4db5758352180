// A private X server (Xvfb) for the end-to-end tests, and the X tools they drive it with.
#pragma once

#include <string>
#include <vector>

// A monitor of the X screen, in the screen's pixels.
struct x_monitor {
    int x, y, w, h;
};

// The user's desktop the server imitates: its size, its monitors (none: one monitor, the whole
// screen), where the pointer rests, the root window's own colour, and whether a window manager runs.
struct x_desktop {
    int width = 800, height = 600;
    std::vector<x_monitor> monitors;
    int primary = -1; // the monitor marked primary, -1 for none
    int pointer_x = 130, pointer_y = 470; // anywhere but the centre, as on a real desk
    unsigned root_colour = 0x00FF80;      // a colour the picture never uses
    bool window_manager = false;          // openbox
};

// Starts Xvfb on a free display number (24 bits) set up as `desktop`, points DISPLAY at it, and stops
// it (and its window manager) again on destruction.  Every test process gets its own, so tests never
// share a pointer or focus.
struct x_server {
    explicit x_server(const x_desktop &desktop = x_desktop());
    ~x_server();
    x_server(const x_server &) = delete;
    x_server &operator=(const x_server &) = delete;

    bool ok() const { return pid > 0 && !display.empty(); }
    // Stops the server (and its window manager) now, as a logout or an X crash would.
    void stop();
    int pid = -1;
    int window_manager_pid = -1;
    std::string display; // ":N"
    x_desktop desktop;
    std::string previous_display; // DISPLAY before this server, restored when it stops
};

// Runs a tool to completion (xdotool, life-bench), its standard output discarded; returns its exit status, or -1.
int run_tool(const std::vector<std::string> &argv);

// Starts a program with its standard output (and, if `background`, its error output) discarded; its
// pid, or -1.  A background program also dies with the test.
int start_tool(const std::vector<std::string> &argv, bool background);

// Does what a window manager does when the user clicks a window's close button: sends
// WM_DELETE_WINDOW to every top-level window that accepts it.  Returns how many it reached.
int close_windows_like_a_window_manager();
