// Which mouse events are the user's: the program's own pointer moves never end it.
#include "pointer.h"

#include <atomic>
#include <cstdlib>

// Written by the main thread before the callback is installed, then only by the input thread.
static std::atomic<int> rest_x{0}, rest_y{0};
static std::atomic<long> settled_at_ms{0};
static std::atomic<bool> moved_by_user{false};

void pointer_rest(int x, int y, long now_ms)
{
    rest_x.store(x, std::memory_order_relaxed);
    rest_y.store(y, std::memory_order_relaxed);
    settled_at_ms.store(now_ms + pointer_settle_ms, std::memory_order_relaxed);
    moved_by_user.store(false, std::memory_order_relaxed);
}

bool pointer_is_user(int flags, int x, int y, long now_ms)
{
    if (flags & (pointer_left_down | pointer_right_down | pointer_middle_down | pointer_wheel |
                 pointer_wheel_sideways))
        return true;
    if (!(flags & pointer_move))
        return false;
    const int dx = x - rest_x.load(std::memory_order_relaxed);
    const int dy = y - rest_y.load(std::memory_order_relaxed);
    if (std::abs(dx) + std::abs(dy) <= pointer_hysteresis_px)
        return false;
    if (now_ms < settled_at_ms.load(std::memory_order_relaxed)) {
        rest_x.store(x, std::memory_order_relaxed);
        rest_y.store(y, std::memory_order_relaxed);
        return false;
    }
    moved_by_user.store(true, std::memory_order_relaxed);
    return true;
}

bool pointer_moved_by_user() { return moved_by_user.load(std::memory_order_relaxed); }
