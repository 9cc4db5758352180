// The save file that carries the whole world between runs.
#pragma once

struct world_place;

enum load_result {
    load_ok,      // the file was read over the world
    load_missing, // no file: the world is left as it was
    load_refused, // the file cannot be trusted: the world is left as it was
};

// The largest file any world can be, with the widest text of every item and CRLF line ends;
// anything larger is refused without being read.
long long save_file_max_bytes();

// Reads the file over the world, but only when the whole of it reads as the writer writes it and
// the world it holds passes world_check; a refused file is set aside under a new name
// ("<path>.bad", "<path>.bad.2", ...), never over an earlier one.
load_result load_world(const char *path);
// The same; with set_aside_refused false a read-only look (a preview): nothing is moved or written.
load_result load_world(const char *path, bool set_aside_refused);
// After a load: true when the file was refused but is still under its name (it could not be moved
// aside, it is not a regular file, or the look was read-only).  The run must then not save there;
// save_world refuses to write over such a file for the rest of the process in any case.
bool load_left_file_in_place();

// Writes the world atomically (temporary file, then rename); returns false, with the earlier file
// untouched, when it cannot be written or when the world fails world_check.
bool save_world(const char *path);
// The program's save to its claimed place: nothing when place.can_save is false; otherwise atomic
// as above keeping the replaced file as "<path>.prev", or rewritten in place when place.in_place.
bool save_world(const world_place &place);

// One line saying why the last save failed or the last load was refused (and where a refused file went).
// Empty after a successful save or load; the text stays valid until the next save or load.
const char *persist_error();
