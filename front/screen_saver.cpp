// The screen-saver conventions: Windows starts a *.scr with /s, /c or /p; X11 hosts pass --root or --window-id.
#include "screen_saver.h"

#include "settings.h"
#include "world_place.h"

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

// The window handle of "/p HWND" or "/p:HWND", in decimal as Windows passes it (handles fit in 32
// bits); 0 when none follows.
static unsigned long preview_window(int argc, const char *const *argv, int a)
{
    const char *arg = argv[a];
    const char *text = arg[2] == ':' ? arg + 3 : arg[2] == '\0' && a + 1 < argc ? argv[a + 1] : nullptr;
    if (!text || !*text)
        return 0;
    unsigned long long value = 0;
    for (const char *d = text; *d; d++) {
        if (!std::isdigit((unsigned char)*d))
            return 0;
        value = value * 10 + (unsigned)(*d - '0');
        if (value > 0xFFFFFFFFull)
            return 0;
    }
    return (unsigned long)value;
}

bool screen_saver_configure(int argc, const char *const *argv, unsigned long *owner)
{
    if (argc < 2 || !argv[0] || !ends_with_scr(argv[0]))
        return false;
    for (int a = 1; a < argc; a++) {
        const char *arg = argv[a];
        if (arg[0] == '/' && (lower(arg[1]) == 'p' || lower(arg[1]) == 's'))
            return false;
        if (arg[0] == '/' && lower(arg[1]) == 'c') {
            if (owner)
                *owner = preview_window(argc, argv, a);
            return true;
        }
    }
    return false;
}

bool screen_saver_quits(int argc, const char *const *argv, bool previews)
{
    if (argc < 2 || !argv[0] || !ends_with_scr(argv[0]))
        return false;
    for (int a = 1; a < argc; a++) {
        const char *arg = argv[a];
        // Matched on the first two characters: Windows passes "/c:1234" and "/p 1234".
        if (arg[0] == '/' && lower(arg[1]) == 'c')
            return true;
        if (arg[0] == '/' && lower(arg[1]) == 'p')
            return !previews || preview_window(argc, argv, a) == 0;
    }
    return false;
}

// An X window id as hosts write them: "0x" and hexadecimal digits, or decimal digits; never 0 (None),
// never wider than X's 29-bit resource ids.
static bool parse_window_id(const char *text, unsigned long &out)
{
    if (!text)
        return false;
    const bool hex = text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    const char *digit = hex ? text + 2 : text;
    if (*digit == '\0')
        return false;
    unsigned long value = 0;
    for (; *digit; digit++) {
        int d = -1;
        if (std::isdigit((unsigned char)*digit))
            d = *digit - '0';
        else if (hex && std::isxdigit((unsigned char)*digit))
            d = lower(*digit) - 'a' + 10;
        if (d < 0)
            return false;
        value = value * (hex ? 16 : 10) + (unsigned long)d;
        if (value > 0x1FFFFFFFul)
            return false;
    }
    if (value == 0)
        return false;
    out = value;
    return true;
}

static bool is_option(const char *arg, const char *name)
{
    // Both the X Toolkit's "-name" and the long "--name" spelling.
    if (arg[0] != '-')
        return false;
    const char *rest = arg[1] == '-' ? arg + 2 : arg + 1;
    return std::strcmp(rest, name) == 0;
}

saver_launch screen_saver_launch(int argc, const char *const *argv, const char *host_window, bool previews)
{
    saver_launch launch;
    if (previews && argc >= 2 && argv[0] && ends_with_scr(argv[0])) {
        for (int a = 1; a < argc; a++) {
            if (argv[a][0] == '/' && lower(argv[a][1]) == 'p' && preview_window(argc, argv, a) != 0) {
                launch.mode = saver_mode::preview;
                launch.window = preview_window(argc, argv, a);
                return launch;
            }
        }
    }
    bool root = false, window_given = false;
    const char *window_text = nullptr;
    for (int a = 1; a < argc; a++) {
        if (is_option(argv[a], "root")) {
            root = true;
        } else if (is_option(argv[a], "window-id")) {
            window_given = true;
            window_text = a + 1 < argc ? argv[++a] : nullptr;
        }
    }
    if (window_given) {
        if (!parse_window_id(window_text, launch.window)) {
            launch.error = window_text ? std::string("--window-id needs an X window id such as 0x2a00007, not \"") +
                                             window_text + "\""
                                       : "--window-id needs an X window id such as 0x2a00007";
            return launch;
        }
        launch.mode = saver_mode::preview;
        return launch;
    }
    if (!root)
        return launch;
    // The host's own window when it names one, else the real root window.
    if (host_window && host_window[0] != '\0' && !parse_window_id(host_window, launch.window)) {
        launch.error = std::string("XSCREENSAVER_WINDOW holds \"") + host_window + "\", which is no X window id";
        return launch;
    }
    launch.mode = saver_mode::host_window;
    return launch;
}

info_request info_requested(int argc, const char *const *argv)
{
    for (int a = 1; a < argc; a++) {
        if (is_option(argv[a], "window-id")) {
            a++;
        } else if (std::strcmp(argv[a], "--help") == 0 || std::strcmp(argv[a], "-h") == 0) {
            return info_request::usage;
        } else if (std::strcmp(argv[a], "--version") == 0) {
            return info_request::version;
        }
    }
    return info_request::none;
}

std::string usage_text()
{
    const std::string world = built_world_rule() == world_rule::user_data
                                  ? "${XDG_DATA_HOME:-~/.local/share}/life/life.sav"
                                  : "beside the program when it can be written there,\n"
                                    "  else ${XDG_DATA_HOME:-~/.local/share}/life/life.sav";
    return "Usage: life [--root | --window-id ID] [--population N] [--max-ips N] [--no-text]\n"
           "       life --help | --version\n"
           "An artificial-life simulation that doubles as a screen saver.  Without arguments it runs\n"
           "full screen until a key, a click or a mouse movement ends it; the world is saved and goes\n"
           "on at the next start.\n"
           "\n"
           "  --root, -root          draw into the window XScreenSaver names in XSCREENSAVER_WINDOW\n"
           "                         (the root window when it is not set); the host ends it with SIGTERM\n"
           "  --window-id ID, -window-id ID\n"
           "                         show the saved world in window ID (a settings dialog's preview),\n"
           "                         writing nothing\n"
           "  /s, /c, /p HWND        under a name ending in .scr (Windows): run, settings, preview\n"
           + std::string(settings_usage()) +
           "  -h, --help             print this and exit\n"
           "  --version              print the version and exit\n"
           "\n"
           "Keys: F1 information overlay, F2 new colours, F3 display on and off, F4 new food field,\n"
           "F12 new world, keypad + one creature more, - or keypad - one fewer; any other key saves\n"
           "and quits.  SIGTERM, SIGHUP and SIGINT save and quit too.\n"
           "\n"
           "The world: " + world + "\n";
}

std::string version_text() { return std::string("life ") + LIFE_VERSION + "\n"; }
