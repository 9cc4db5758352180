// The screen-saver convention: a program named *.scr is started with /s to run, /c to configure, /p to preview.
#pragma once

// True when the program is a ".scr" given "/c" or "/p": there is no settings dialog and no
// preview, so it should return at once.  Any other name or argument means run normally.
bool screen_saver_quits(int argc, const char *const *argv);
