// The main loop: steps back to back, the handlers' work between two steps, and the world saved every ten minutes.
#include "run_loop.h"

#include "handover.h"
#include "saving.h"

long run_loop(const run_loop_hooks &hooks)
{
    long turns = 0;
    long next_save = hooks.now_ms && hooks.save ? hooks.now_ms() + autosave_interval_ms : 0;
    bool failing = false;
    do {
        {
            std::lock_guard<std::mutex> hold(saving_world_mutex());
            hooks.step(hooks.work.context);
        }
        turns++;
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
