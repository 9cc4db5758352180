// A private X server (Xvfb) for the end-to-end tests, and the X tools they drive it with.
#pragma once

#include <string>
#include <vector>

// Starts Xvfb on a free display number (800 x 600, 24 bits), points DISPLAY at it, and stops it
// again on destruction.  Every test process gets its own, so tests never share a pointer or focus.
struct x_server {
    x_server();
    ~x_server();
    x_server(const x_server &) = delete;
    x_server &operator=(const x_server &) = delete;

    bool ok() const { return pid > 0 && !display.empty(); }
    int pid = -1;
    std::string display; // ":N"
};

// Runs a tool to completion (xdotool, life-bench), its standard output discarded; returns its exit status, or -1.
int run_tool(const std::vector<std::string> &argv);

// Does what a window manager does when the user clicks a window's close button: sends
// WM_DELETE_WINDOW to every top-level window that accepts it.  Returns how many it reached.
int close_windows_like_a_window_manager();
