// The main loop: steps back to back, the handlers' work between two steps, and the world saved every ten minutes.
#include "run_loop.h"

#include "handover.h"
#include "saving.h"

#include <chrono>
#include <thread>

static void sleep_for_ms(long ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

// Steps counted from a moment on, to know when the next turn is due under a speed limit.
struct pace {
    long from_ms = 0;
    long long steps = 0;
};

// Waits until the turns run so far are due, or until the handlers have work; never longer than a
// few milliseconds at a time, so a stop is seen at once.
static void wait_for_turn(const run_loop_hooks &hooks, pace &p)
{
    p.steps += steps_per_turn;
    const long due = p.from_ms + (long)(p.steps * 1000 / hooks.max_ips);
    void (*sleep)(long) = hooks.sleep_ms ? hooks.sleep_ms : sleep_for_ms;
    for (;;) {
        const long now = hooks.now_ms();
        // Far behind (a stall, the machine asleep): start counting afresh rather than rush to catch up.
        if (now - due > 1000) {
            p.from_ms = now;
            p.steps = 0;
            return;
        }
        if (now - due >= 0 || handover_pending() || running.load(std::memory_order_relaxed) == 0)
            return;
        sleep(due - now < 5 ? due - now : 5);
    }
}

long run_loop(const run_loop_hooks &hooks)
{
    long turns = 0;
    long next_save = hooks.now_ms && hooks.save ? hooks.now_ms() + autosave_interval_ms : 0;
    bool failing = false;
    const bool paced = hooks.max_ips > 0 && hooks.now_ms;
    pace p;
    if (paced)
        p.from_ms = hooks.now_ms();
    do {
        {
            std::lock_guard<std::mutex> hold(saving_world_mutex());
            hooks.step(hooks.work.context);
        }
        turns++;
        if (paced)
            wait_for_turn(hooks, p);
        // The clock is read only when timer work is due (18 times a second), not after every turn.
        if (!handover_pending())
            continue;
        handover_run(hooks.work);
        if (!next_save)
            continue;
        const long now = hooks.now_ms();
        if (now - next_save < 0)
            continue;
        const bool saved = hooks.save(hooks.work.context);
        // Reported once, not every ten minutes while the disk stays full; tried again at the next interval.
        if (!saved && !failing && hooks.save_failed)
            hooks.save_failed(hooks.work.context);
        failing = !saved;
        next_save = now + autosave_interval_ms;
    } while (running.load(std::memory_order_relaxed) != 0);
    return turns;
}
