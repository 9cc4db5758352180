/* Another Windows program holding a file open, as a backup or sync tool does, for the Wine tests. */
#include <stdio.h>
#include <string.h>
#include <windows.h>

/* hold_file PATH read|delete READY RELEASE: opens PATH for reading, letting others only read it or only
   delete it, creates READY once it holds it, and closes it when RELEASE appears. */
int main(int argc, char **argv)
{
    if (argc != 5 || (strcmp(argv[2], "read") != 0 && strcmp(argv[2], "delete") != 0)) {
        fprintf(stderr, "usage: hold_file PATH read|delete READY RELEASE\n");
        return 2;
    }
    const DWORD share = strcmp(argv[2], "read") == 0 ? FILE_SHARE_READ : FILE_SHARE_DELETE;
    const HANDLE held = CreateFileA(argv[1], GENERIC_READ, share, NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    if (held == INVALID_HANDLE_VALUE) {
        fprintf(stderr, "hold_file: cannot open %s: error %lu\n", argv[1], (unsigned long)GetLastError());
        return 1;
    }
    const HANDLE ready = CreateFileA(argv[3], GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (ready == INVALID_HANDLE_VALUE) {
        fprintf(stderr, "hold_file: cannot create %s: error %lu\n", argv[3], (unsigned long)GetLastError());
        return 1;
    }
    CloseHandle(ready);
    while (GetFileAttributesA(argv[4]) == INVALID_FILE_ATTRIBUTES)
        Sleep(50);
    CloseHandle(held);
    return 0;
}
