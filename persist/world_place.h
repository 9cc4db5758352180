// Where this process's world lives and the lock that makes it the only writer.
#pragma once

#include <string>

// While lock_fd is held no other process claims the same path; can_save false means the world
// runs but is never written (then in_place is false).
struct world_place {
    std::string path;      // the world file to load and save
    bool can_save = false; // false: run the world but never write it (read-only file respected, no place could be had, preview)
    bool in_place = false; // saved by rewriting the file itself (writable file in a read-only folder)
    int lock_fd = -1;      // the lock held from claim to release (-1: none)
    std::string notice;    // one line for the user when something is worth saying (a second copy's world, a read-only file respected, XDG used); empty otherwise
    bool notice_is_routine = false; // the notice only says where an installed program keeps its world, as it always will
};

// Where a world may live.  An installed program never writes beside itself: its folder is the system's
// (or an unpacked package's), and root, whom no permission stops, would litter it.
enum class world_rule {
    beside_program, // beside the program when it can be written there, else the user's data folder
    user_data,      // always the user's data folder, wherever the program is
};
// The rule this build was made with: user_data in a build made for installing (LIFE_INSTALLED).
world_rule built_world_rule();

// Finds and locks the world for a program started as argv0: "<name>.sav" beside the program when
// that folder, or the world file there, is writable (beside_program only); else the same name in
// ${XDG_DATA_HOME:-$HOME/.local/share}/life/.  A world another process holds is passed over for
// "<name>-2.sav", "<name>-3.sav", ...  Never fails outright: when no world can be had, can_save
// is false and notice says why.
world_place claim_world_place(const char *argv0, world_rule rule = built_world_rule());
// Where claim_world_place would look first for the same program, found without creating, locking or
// writing anything: for a look at the world as it stands (a preview).  can_save is always false.
world_place look_up_world_place(const char *argv0, world_rule rule = built_world_rule());
// The user's folder for worlds, ${XDG_DATA_HOME:-$HOME/.local/share}/life (%APPDATA%\life on Windows);
// empty when no home is known.
std::string world_data_folder();
// Drops the lock; the lock file itself stays for the next run.
void release_world_place(world_place &place);
