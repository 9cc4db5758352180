// The X display going away (logout, an X crash, the host destroying the window): a stop like SIGTERM, never an exit from inside Xlib.
#include "display_loss.h"

#include "handover.h"

#include <X11/Xlib.h>

#include <atomic>
#include <cstdio>

#include <pthread.h>
#include <unistd.h>

static std::atomic<bool> lost{false};
static std::atomic<bool> finishing{false};
static std::atomic<bool> window_gone{false};
static Display *watched = nullptr;
static XErrorHandler previous_error_handler = nullptr;
static void (*finish_hook)() = nullptr;
static pthread_t main_thread;

// Long enough for the main thread to end its step and save; it only stays longer when it is blocked
// inside Xlib, behind the lock of the thread that saw the loss.
static const int grace_ms = 1500;

static void finish_once()
{
    if (!finishing.exchange(true) && finish_hook)
        finish_hook();
}

static int on_io_error(Display *)
{
    if (!lost.exchange(true))
        std::fprintf(stderr, "life: the X display went away; saving the world and stopping\n");
    handover_stop();
    // On the main thread Xlib is only called between two steps, so the world is whole.
    if (pthread_equal(pthread_self(), main_thread))
        finish_once();
    // Returning would let Xlib end the process; wait for the main thread to finish instead.
    for (int waited = 0; waited < grace_ms; waited += 10)
        usleep(10000);
    finish_once();
    for (;;)
        pause();
}

void display_loss_guard(void (*finish)())
{
    finish_hook = finish;
    main_thread = pthread_self();
    XSetIOErrorHandler(on_io_error);
}

bool display_lost() { return lost.load(std::memory_order_relaxed); }

void display_loss_finish()
{
    if (display_lost())
        finish_once();
    if (display_lost())
        for (;;)
            pause();
}

void display_loss_window_gone(const char *why)
{
    if (!window_gone.exchange(true))
        std::fprintf(stderr, "life: %s; saving the world and stopping\n", why);
    handover_stop();
}

bool display_window_gone() { return window_gone.load(std::memory_order_relaxed); }

static int on_x_error(Display *d, XErrorEvent *e)
{
    if (d != watched)
        return previous_error_handler ? previous_error_handler(d, e) : 0;
    // Only a local look-up of the error's name: no request may be sent from here.
    char name[80] = "";
    XGetErrorText(d, e->error_code, name, sizeof name);
    char why[160];
    std::snprintf(why, sizeof why, "the screen saver's window went away (X error: %s)", name);
    display_loss_window_gone(why);
    return 0;
}

void display_loss_watch_window(Display *host)
{
    watched = host;
    XErrorHandler previous = XSetErrorHandler(on_x_error);
    if (previous != on_x_error)
        previous_error_handler = previous;
}
