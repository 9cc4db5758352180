// The pointer's place on Windows: the cursor's own position, in virtual-screen coordinates.
#include "platform.h"

#include <windows.h>

static bool remembered = false;
static POINT remembered_at = {0, 0};

void pointer_remember() { remembered = GetCursorPos(&remembered_at) != 0; }

void pointer_put_back()
{
    if (remembered)
        SetCursorPos(remembered_at.x, remembered_at.y);
}
