// The user's input as Windows saw it, and the end of the process once the world is saved.
#include "platform.h"

#include <windows.h>

static DWORD watched_from = 0;
static bool watching = false;

void user_input_watch_from_now()
{
    LASTINPUTINFO last = {sizeof last, 0};
    watched_from = GetLastInputInfo(&last) ? last.dwTime : GetTickCount();
    watching = true;
}

bool user_input_seen()
{
    LASTINPUTINFO last = {sizeof last, 0};
    // Tick counts wrap after 49 days: a difference, not a comparison.
    return watching && GetLastInputInfo(&last) && (LONG)(last.dwTime - watched_from) > 0;
}

// Ended by the system at once, without the C library's or any DLL's exit handling: the world is saved
// and its lock released, and under Wine an exit racing Allegro's threads could abort after the save.
void process_end(int status) { TerminateProcess(GetCurrentProcess(), (UINT)status); }
