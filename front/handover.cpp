// The hand-over between Allegro's threads and the main loop: the stop flag and the pending timer work.
#include "handover.h"

#include "pointer.h"

#include <chrono>

std::atomic<int32_t> running{0};

// Bit 0: a display pass is due.  Bits 1 and up: the number of clock ticks due.
// Only the handlers add to it and only the main thread takes it, so no tick is lost or run twice.
static std::atomic<uint32_t> pending{0};

static_assert(std::atomic<int32_t>::is_always_lock_free, "the stop flag is stored from signal handlers");

void handover_stop() { running.store(0, std::memory_order_relaxed); }

void handover_clock_timer() { pending.fetch_add(2, std::memory_order_relaxed); }

void handover_display_timer() { pending.fetch_or(1, std::memory_order_relaxed); }

void stop_on_mouse(int flags, int x, int y)
{
    using namespace std::chrono;
    const long now = (long)duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
    if (pointer_is_user(flags, x, y, now))
        handover_stop();
}

bool handover_pending() { return pending.load(std::memory_order_relaxed) != 0; }

void handover_run(const handover_work &work)
{
    const uint32_t due = pending.exchange(0, std::memory_order_relaxed);
    for (uint32_t n = due >> 1; n > 0 && work.clock_tick; n--)
        work.clock_tick(work.context);
    if ((due & 1) && work.display_pass)
        work.display_pass(work.context);
}

void handover_clear() { pending.store(0, std::memory_order_relaxed); }
