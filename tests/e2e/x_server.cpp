// A private X server (Xvfb) for the end-to-end tests, and the X tools they drive it with.
#include "x_server.h"

#include "life_process.h"

#include <cerrno>
#include <fcntl.h>
#include <cstdlib>
#include <cstring>

#include <X11/Xlib.h>

#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

int start_tool(const std::vector<std::string> &argv, bool background)
{
    const pid_t child = fork();
    if (child == 0) {
        if (background)
            prctl(PR_SET_PDEATHSIG, SIGTERM);
        int null = open("/dev/null", O_WRONLY);
        if (null >= 0) {
            dup2(null, 1);
            if (background)
                dup2(null, 2);
        }
        std::vector<char *> args;
        for (const std::string &a : argv)
            args.push_back(const_cast<char *>(a.c_str()));
        args.push_back(nullptr);
        execvp(args[0], args.data());
        _exit(127);
    }
    return child;
}

// True once a window manager has announced itself on the root window.
static bool window_manager_running()
{
    Display *d = XOpenDisplay(nullptr);
    if (!d)
        return false;
    Atom type;
    int format;
    unsigned long n = 0, rest;
    unsigned char *data = nullptr;
    const Atom check = XInternAtom(d, "_NET_SUPPORTING_WM_CHECK", False);
    const bool found = XGetWindowProperty(d, DefaultRootWindow(d), check, 0, 1, False, AnyPropertyType, &type,
                                          &format, &n, &rest, &data) == Success &&
                       n > 0;
    if (data)
        XFree(data);
    XCloseDisplay(d);
    return found;
}

x_server::x_server(const x_desktop &wanted) : desktop(wanted)
{
    if (const char *d = getenv("DISPLAY"))
        previous_display = d;
    int fds[2];
    if (pipe(fds) != 0)
        return;
    pid = fork();
    if (pid == 0) {
        // Stopped with the test even when the test itself is killed (a time-out).
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        close(fds[0]);
        const std::string fd = std::to_string(fds[1]);
        // Quiet: Xvfb's start-up chatter is not the test's output.
        int null = open("/dev/null", O_WRONLY);
        if (null >= 0) {
            dup2(null, 1);
            dup2(null, 2);
        }
        // -noreset: by default the server resets whenever its last client leaves, and a program
        // that connects during that reset fails to start; these tests start and stop clients by the hundred.
        const std::string size = std::to_string(wanted.width) + "x" + std::to_string(wanted.height) + "x24";
        execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", size.c_str(), "-nolisten", "tcp",
               "-nocursor", "-br", "-noreset", (char *)nullptr);
        _exit(127);
    }
    close(fds[1]);
    if (pid < 0) {
        close(fds[0]);
        return;
    }
    // Xvfb writes its display number once it accepts clients.
    std::string number;
    struct pollfd p = {fds[0], POLLIN, 0};
    for (int waited = 0; waited < 200 && number.find('\n') == std::string::npos; waited++) {
        if (poll(&p, 1, 100) > 0) {
            char buf[32];
            ssize_t n = read(fds[0], buf, sizeof buf);
            if (n <= 0)
                break;
            number.append(buf, (size_t)n);
        }
    }
    close(fds[0]);
    const size_t end = number.find('\n');
    if (end == std::string::npos || end == 0)
        return;
    display = ":" + number.substr(0, end);
    setenv("DISPLAY", display.c_str(), 1);

    char colour[16];
    snprintf(colour, sizeof colour, "#%06X", wanted.root_colour & 0xFFFFFFu);
    bool ready = run_tool({"xsetroot", "-solid", colour}) == 0;
    for (size_t k = 0; k < wanted.monitors.size() && ready; k++) {
        const x_monitor &m = wanted.monitors[k];
        // Millimetres at about 96 dpi; the primary monitor (else the first) takes the screen's one output.
        const int with_output = wanted.primary >= 0 ? wanted.primary : 0;
        const std::string geometry = std::to_string(m.w) + "/" + std::to_string(m.w * 254 / 960) + "x" +
                                     std::to_string(m.h) + "/" + std::to_string(m.h * 254 / 960) + "+" +
                                     std::to_string(m.x) + "+" + std::to_string(m.y);
        const std::string name = ((int)k == wanted.primary ? "*monitor" : "monitor") + std::to_string(k);
        ready = run_tool({"xrandr", "--setmonitor", name, geometry, (int)k == with_output ? "screen" : "none"}) == 0;
    }
    if (ready && wanted.window_manager) {
        window_manager_pid = start_tool({"openbox", "--sm-disable"}, true);
        ready = window_manager_pid > 0 && poll_until(window_manager_running, 10000);
    }
    if (ready)
        ready = run_tool({"xdotool", "mousemove", std::to_string(wanted.pointer_x), std::to_string(wanted.pointer_y)}) == 0;
    if (!ready)
        display.clear();
}

x_server::~x_server()
{
    stop();
    if (previous_display.empty())
        unsetenv("DISPLAY");
    else
        setenv("DISPLAY", previous_display.c_str(), 1);
}

void x_server::stop()
{
    if (window_manager_pid > 0) {
        kill(window_manager_pid, SIGTERM);
        int status;
        waitpid(window_manager_pid, &status, 0);
    }
    window_manager_pid = -1;
    if (pid > 0) {
        kill(pid, SIGTERM);
        int status;
        waitpid(pid, &status, 0);
    }
    pid = -1;
}

int run_tool(const std::vector<std::string> &argv)
{
    // The tools' own reports are not the test's output; their complaints are.
    const pid_t child = start_tool(argv, false);
    if (child < 0)
        return -1;
    int status;
    while (waitpid(child, &status, 0) < 0)
        if (errno != EINTR)
            return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

int close_windows_like_a_window_manager()
{
    Display *d = XOpenDisplay(nullptr);
    if (!d)
        return 0;
    const Atom protocols = XInternAtom(d, "WM_PROTOCOLS", False);
    const Atom delete_window = XInternAtom(d, "WM_DELETE_WINDOW", False);
    Window root_back, parent, *children = nullptr;
    unsigned count = 0;
    int reached = 0;
    if (XQueryTree(d, DefaultRootWindow(d), &root_back, &parent, &children, &count)) {
        for (unsigned k = 0; k < count; k++) {
            Atom *accepted = nullptr;
            int n = 0;
            if (!XGetWMProtocols(d, children[k], &accepted, &n))
                continue;
            bool wants = false;
            for (int a = 0; a < n; a++)
                wants |= accepted[a] == delete_window;
            XFree(accepted);
            if (!wants)
                continue;
            XEvent e = {};
            e.xclient.type = ClientMessage;
            e.xclient.window = children[k];
            e.xclient.message_type = protocols;
            e.xclient.format = 32;
            e.xclient.data.l[0] = (long)delete_window;
            e.xclient.data.l[1] = CurrentTime;
            XSendEvent(d, children[k], False, NoEventMask, &e);
            reached++;
        }
        XFree(children);
    }
    XCloseDisplay(d);
    return reached;
}
