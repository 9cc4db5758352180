// The save file that carries the whole world between runs.
#pragma once

enum load_result {
    load_ok,      // the file was read over the world
    load_missing, // no file: the world is left as it was
    load_refused, // the file cannot be trusted: the world is left as it was
};

// Writes the world; returns false (world file untouched) when it cannot be written.
bool save_world(const char *path);
// Reads the file over the world.  On load_refused, *why (if given) receives a one-line reason.
load_result load_world(const char *path, const char **why = nullptr);
