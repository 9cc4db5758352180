// The screen-saver convention: a program named *.scr is started with /s to run, /c to configure, /p to preview.
#include "screen_saver.h"

#include <cctype>
#include <cstring>

static char lower(char c) { return (char)std::tolower((unsigned char)c); }

static bool ends_with_scr(const char *name)
{
    size_t n = std::strlen(name);
    if (n < 4)
        return false;
    const char *tail = name + n - 4;
    return tail[0] == '.' && lower(tail[1]) == 's' && lower(tail[2]) == 'c' && lower(tail[3]) == 'r';
}

bool screen_saver_quits(int argc, const char *const *argv)
{
    if (argc < 2 || !argv[0] || !ends_with_scr(argv[0]))
        return false;
    for (int a = 1; a < argc; a++) {
        const char *arg = argv[a];
        // Matched on the first two characters: Windows passes "/c:1234" and "/p 1234".
        if (arg[0] == '/' && (lower(arg[1]) == 'c' || lower(arg[1]) == 'p'))
            return true;
    }
    return false;
}
