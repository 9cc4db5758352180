// The end of the user's session on Windows (logging off, shutting down): a stop like SIGTERM, saved before Windows ends the process.
#include "display_loss.h"
#include "platform.h"

#include <allegro.h>
#include <winalleg.h>

static DWORD main_thread;

// Windows ends the process soon after WM_ENDSESSION returns, so the message is never returned from:
// the main thread ends its step and saves meanwhile.  Runs on Allegro's window thread before Allegro's own handling; 0 means the message is handled.
static int on_message(HWND, UINT message, WPARAM wparam, LPARAM, int *)
{
    if (message != WM_ENDSESSION || !wparam)
        return 1;
    display_loss_end("the session is ending", GetCurrentThreadId() == main_thread);
}

void display_loss_guard(void (*finish)())
{
    display_loss_set_finish(finish);
    main_thread = GetCurrentThreadId();
    win_set_msg_pre_proc(on_message);
}
