// The end of the user's session on Windows (logging off, shutting down): a stop like SIGTERM, saved before Windows ends the process.
#include "display_loss.h"

#include "handover.h"

#include <allegro.h>
#include <winalleg.h>

#include <atomic>
#include <cstdio>

static std::atomic<bool> lost{false};
static std::atomic<bool> finishing{false};
static void (*finish_hook)() = nullptr;
static DWORD main_thread;

// Windows ends the process soon after WM_ENDSESSION returns, so the message is not returned from:
// the main thread ends its step and saves meanwhile.  It only takes longer when the main thread is
// blocked on Allegro's window thread, which this message holds.
static const int grace_ms = 1500;

static void finish_once()
{
    if (!finishing.exchange(true) && finish_hook)
        finish_hook();
}

// Runs on Allegro's window thread before Allegro's own handling; 0 means the message is handled.
static int on_message(HWND, UINT message, WPARAM wparam, LPARAM, int *result)
{
    if (message != WM_ENDSESSION || !wparam)
        return 1;
    if (!lost.exchange(true))
        std::fprintf(stderr, "life: the session is ending; saving the world and stopping\n");
    handover_stop();
    if (GetCurrentThreadId() == main_thread)
        finish_once();
    Sleep(grace_ms);
    finish_once();
    *result = 0;
    for (;;)
        Sleep(INFINITE);
}

void display_loss_guard(void (*finish)())
{
    finish_hook = finish;
    main_thread = GetCurrentThreadId();
    win_set_msg_pre_proc(on_message);
}

bool display_lost() { return lost.load(std::memory_order_relaxed); }

void display_loss_finish()
{
    if (display_lost())
        finish_once();
    if (display_lost())
        for (;;)
            Sleep(INFINITE);
}
