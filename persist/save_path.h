// Where the program keeps its world: beside the executable, named after it.
#pragma once

#include <string>

// argv0 with the extension of its file name replaced by ".sav" (".sav" added when it has none).
// A bare name, found through PATH, is replaced by the executable's own location first.
std::string save_path_from(const char *argv0);
