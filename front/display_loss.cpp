// What the display going away or the session ending does on every platform: one stop, and the world's save run exactly once.
#include "display_loss.h"

#include "handover.h"
#include "saving.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>

static std::atomic<bool> lost{false};
static std::atomic<bool> window_gone{false};
static std::atomic<bool> finishing{false};
static void (*finish_hook)() = nullptr;

// Long enough for the main thread to end its step and save; it only stays longer when it is blocked
// behind the platform's lock (Xlib's, or Allegro's window thread) held by the thread that saw the end.
static const std::chrono::milliseconds grace(1500);

// "saving the world and stopping" only once there is a world this run saves.
static const char *display_loss_outcome()
{
    return saving_will_save() ? "saving the world and stopping" : "stopping";
}

static void finish_once()
{
    if (!finishing.exchange(true) && finish_hook)
        finish_hook();
}

[[noreturn]] static void wait_for_ever()
{
    for (;;)
        std::this_thread::sleep_for(std::chrono::hours(1));
}

void display_loss_set_finish(void (*finish)()) { finish_hook = finish; }

void display_loss_end(const char *what, bool on_main_thread)
{
    if (!lost.exchange(true))
        std::fprintf(stderr, "life: %s; %s\n", what, display_loss_outcome());
    handover_stop();
    // The main thread meets the platform only between two turns of steps, so the world is whole there.
    if (on_main_thread)
        finish_once();
    std::this_thread::sleep_for(grace);
    finish_once();
    wait_for_ever();
}

bool display_lost() { return lost.load(std::memory_order_relaxed); }

void display_loss_window_gone(const char *why)
{
    if (!window_gone.exchange(true))
        std::fprintf(stderr, "life: %s; %s\n", why, display_loss_outcome());
    handover_stop();
}

bool display_window_gone() { return window_gone.load(std::memory_order_relaxed); }

void display_loss_finish()
{
    if (!display_lost())
        return;
    finish_once();
    wait_for_ever();
}
