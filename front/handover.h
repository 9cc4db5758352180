// The hand-over between Allegro's threads and the main loop: the stop flag and the pending timer work.
#pragma once

#include <atomic>
#include <cstdint>

// Non-zero while the main loop should go on.  The one value written outside the main thread
// (timer and input threads, signal handlers); lock-free, so a signal handler may store to it.
extern std::atomic<int32_t> running;

// Asks the main loop to stop after the step in progress; safe from any thread and from a signal handler.
void handover_stop();

// Allegro timer handlers: they only record that a tick is due.
void handover_clock_timer();
void handover_display_timer();
// Allegro's mouse callback, given the pointer's position: the user's mouse ends the program
// (see pointer.h for what counts); the program's own pointer moves do not.
void stop_on_mouse(int flags, int x, int y);

// True when timer work is waiting; one relaxed load, cheap enough to test after every step.
bool handover_pending();

// The work the main thread does for the handlers, each given `context`.  Either may be null.
struct handover_work {
    void *context = nullptr;
    void (*clock_tick)(void *context) = nullptr;   // one second of the clock
    void (*display_pass)(void *context) = nullptr; // one key command and one picture
};

// Runs the waiting work on the calling (main) thread, between two steps: every clock tick due, in
// order, then one display pass if any is due (display ticks that piled up collapse into one).
void handover_run(const handover_work &work);

// Forgets pending work; for tests.
void handover_clear();
