/* The little window of the Screen Saver settings, as another program owns it, for the Wine tests. */
#include <stdio.h>
#include <windows.h>

static const char *report;

/* Writes "<width> <height>" of each child window, one line each, to the report file. */
static BOOL CALLBACK note_child(HWND child, LPARAM out)
{
    RECT r;
    GetClientRect(child, &r);
    fprintf((FILE *)out, "%ld %ld\n", (long)(r.right - r.left), (long)(r.bottom - r.top));
    return TRUE;
}

/* preview_host HANDLE REPORT CLOSE: makes a 152 x 112 window, writes its handle (decimal, as Windows
   passes it to "/p") to HANDLE, keeps REPORT listing its child windows, destroys the window when CLOSE
   appears, and then writes "gone" to REPORT. */
int main(int argc, char **argv)
{
    if (argc != 4) {
        fprintf(stderr, "usage: preview_host HANDLE REPORT CLOSE\n");
        return 2;
    }
    report = argv[2];
    const HWND window = CreateWindowExA(0, "STATIC", "preview", WS_POPUP | WS_VISIBLE, 40, 40, 152, 112, NULL, NULL,
                                        GetModuleHandleA(NULL), NULL);
    if (!window) {
        fprintf(stderr, "preview_host: no window: error %lu\n", (unsigned long)GetLastError());
        return 1;
    }
    FILE *out = fopen(argv[1], "wb");
    if (!out)
        return 1;
    fprintf(out, "%lu\n", (unsigned long)(ULONG_PTR)window);
    fclose(out);
    while (GetFileAttributesA(argv[3]) == INVALID_FILE_ATTRIBUTES) {
        MSG msg;
        while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE))
            DispatchMessageA(&msg);
        FILE *list = fopen(report, "wb");
        if (list) {
            EnumChildWindows(window, note_child, (LPARAM)list);
            fclose(list);
        }
        Sleep(100);
    }
    DestroyWindow(window);
    FILE *gone = fopen(report, "wb");
    if (gone) {
        fputs("gone\n", gone);
        fclose(gone);
    }
    return 0;
}
