// The program's life: start-up, the screen-saver convention, the step loop, saving the world and shut-down.
#include "clock.h"
#include "display.h"
#include "handover.h"
#include "keys.h"
#include "reset.h"
#include "save_file.h"
#include "save_path.h"
#include "screen_saver.h"
#include "step.h"
#include "world.h"

#include <allegro.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>

#include <pthread.h>

static void paint_old_field(int width_px, int height_px)
{
    rectfill(screen, -1, -1, width_px, height_px, makecol(0x20, 0x20, 0x20));
}

static void clear_screen() { clear_bitmap(screen); }

// Ending the session (SIGTERM from a screen locker, SIGHUP, Ctrl-C) is like moving the mouse:
// the step in progress finishes and the world is saved.
static void stop_on_signal(int) { handover_stop(); }

static void install_signal_handlers()
{
    struct sigaction sa = {};
    sa.sa_handler = stop_on_signal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGHUP, &sa, nullptr);
    sigaction(SIGINT, &sa, nullptr);
}

// Full screen where the display can switch to 800 x 600; otherwise a window of that size.
static bool open_screen()
{
    set_color_depth(32);
    if (set_gfx_mode(GFX_AUTODETECT_FULLSCREEN, screen_w, screen_h, 0, 0) == 0)
        return true;
    return set_gfx_mode(GFX_AUTODETECT_WINDOWED, screen_w, screen_h, 0, 0) == 0;
}

// Handler work that fell due while the main thread was busy runs here, between two pieces of it.
static bool still_running()
{
    handover_run(display_tick);
    return running.load(std::memory_order_relaxed) != 0;
}

int main(int argc, char **argv)
{
    // Configure and preview have nothing to show: leave before opening the display at all.
    if (screen_saver_quits(argc, argv))
        return 0;

    // Allegro's own SIGTERM handler shuts the library down inside the signal handler, which can
    // deadlock when the signal lands in the middle of the start-up: hold the stop signals back
    // until ours replaces it.  One that came meanwhile then stops the program before it loads.
    sigset_t stop_signals, previous_mask;
    sigemptyset(&stop_signals);
    sigaddset(&stop_signals, SIGTERM);
    sigaddset(&stop_signals, SIGHUP);
    sigaddset(&stop_signals, SIGINT);
    pthread_sigmask(SIG_BLOCK, &stop_signals, &previous_mask);
    if (allegro_init() != 0) {
        // Allegro leaves its message empty when the X display cannot be reached.
        const char *display = std::getenv("DISPLAY");
        if (allegro_error[0] != '\0')
            std::fprintf(stderr, "life: cannot start Allegro: %s\n", allegro_error);
        else if (display == nullptr || display[0] == '\0')
            std::fprintf(stderr, "life: cannot start Allegro: DISPLAY is not set\n");
        else
            std::fprintf(stderr, "life: cannot start Allegro: cannot open the X display \"%s\"\n", display);
        return 1;
    }
    running.store(-1, std::memory_order_relaxed);
    install_signal_handlers();
    pthread_sigmask(SIG_SETMASK, &previous_mask, nullptr);
    install_timer();
    install_keyboard();
    install_mouse();

    if (!open_screen()) {
        std::fprintf(stderr, "life: cannot open an 800x600 screen: %s\n", allegro_error);
        return 1;
    }
    text_background = -1;

    mouse_callback = stop_on_mouse;
    set_close_button_callback(handover_stop);
    back_buffer = create_bitmap(screen_w, screen_h);
    if (!back_buffer) {
        std::fprintf(stderr, "life: cannot create the back buffer\n");
        return 1;
    }
    world_reset_screen_hook = paint_old_field;
    clock_clear_screen_hook = clear_screen;

    install_int_ex(handover_clock_timer, SECS_TO_TIMER(1));
    install_int_ex(handover_display_timer, BPS_TO_TIMER(18));

    // Dismissed during start-up: leave the stored world as it is.
    if (!still_running())
        return 0;
    world_reset();
    const std::string save_path = save_path_from(argv[0]);
    if (!still_running())
        return 0;

    if (load_world(save_path.c_str()) == load_refused)
        std::fprintf(stderr, "life: %s\n", persist_error());
    if (world.display_on) {
        text_background = -1;
    } else {
        clear_bitmap(screen);
        text_background = 0;
    }

    do {
        sim_step();
        if (handover_pending())
            handover_run(display_tick);
    } while (running.load(std::memory_order_relaxed) != 0);

    const bool saved = save_world(save_path.c_str());
    if (!saved)
        std::fprintf(stderr, "life: the world was not saved: %s\n", persist_error());

    remove_int(handover_clock_timer);
    remove_int(handover_display_timer);
    mouse_callback = nullptr;
    destroy_bitmap(back_buffer);
    back_buffer = nullptr;
    return saved ? 0 : 1;
}
END_OF_MAIN()
