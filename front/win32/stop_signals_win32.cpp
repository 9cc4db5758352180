// Stop requests from outside the program on Windows: Ctrl+C or Ctrl+Break where a console is attached.
#include "platform.h"

#include "handover.h"

#include <windows.h>

// The end of the user's session reaches the program's window instead (display_loss_win32.cpp).
static BOOL WINAPI stop_on_ctrl(DWORD event)
{
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT)
        return FALSE;
    handover_stop();
    return TRUE;
}

// Nothing to hold back: Allegro installs no handler of its own for these on Windows.
void stop_signals_hold() {}

void stop_signals_take() { SetConsoleCtrlHandler(stop_on_ctrl, TRUE); }
