// The save file that carries the whole world between runs.
#pragma once

enum load_result {
    load_ok,      // the file was read over the world
    load_missing, // no file: the world is left as it was
    load_refused, // the file cannot be trusted: the world is left as it was
};

// Writes the world; returns false (any earlier file left untouched) when it cannot be written.
bool save_world(const char *path);
// Reads the file over the world.
load_result load_world(const char *path);
// One line saying why the last save failed or the last load was refused (and where a refused file went).
// Empty after a successful save or load; the text stays valid until the next save or load.
const char *persist_error();
