// The X display going away (logout, an X crash, the host destroying the window): a stop like SIGTERM, never an exit from inside Xlib.
#include "display_loss.h"
#include "display_loss_x11.h"
#include "platform.h"

#include <X11/Xlib.h>

#include <atomic>
#include <cstdio>

#include <pthread.h>

static Display *watched = nullptr;
static XErrorHandler previous_error_handler = nullptr;
static pthread_t main_thread;

// Returning would let Xlib end the process.
static int on_io_error(Display *)
{
    display_loss_end("the X display went away", pthread_equal(pthread_self(), main_thread));
}

void display_loss_guard(void (*finish)())
{
    display_loss_set_finish(finish);
    main_thread = pthread_self();
    XSetIOErrorHandler(on_io_error);
}

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
