// Claims the world file this process may load and save, locked against every other copy.
#include "world_place.h"

#include "file_system.h"
#include "save_path.h"

#include <cerrno>

// "<name>.sav" for the first copy, "<name>-2.sav", "<name>-3.sav", ... for the next ones.
static std::string numbered(const std::string &name, int copy)
{
    if (copy == 1)
        return name;
    const std::string suffix = "-" + std::to_string(copy);
    const size_t dot = name.rfind(".sav");
    if (dot != std::string::npos && dot + 4 == name.size() && dot > 0)
        return name.substr(0, dot) + suffix + ".sav";
    return name + suffix;
}

enum { most_copies = 100 };

// Why a lock could not be had, in words; a link is never followed for a lock.
static std::string lock_problem(const std::string &lock, int err)
{
    return "cannot lock " + lock + ": " + (err == ELOOP ? std::string("it is a symbolic link") : fs_error_text(err));
}

// Takes the first world in the folder no other process holds.  False when this folder cannot
// give one (read-only with no writable world file left, or the lock cannot be had); *why says so.
// A lock that fails for another reason than another copy holding it, beside a world that exists,
// is no reason to run another world unnoticed: that world is then run, unsaved, and *why is empty.
static bool claim_in(const std::string &folder, const std::string &name, world_place &place, std::string *why)
{
    const bool folder_writable = fs_writable(folder);
    for (int copy = 1; copy <= most_copies; copy++) {
        const std::string path = fs_join(folder, numbered(name, copy));
        const std::string lock = folder_writable ? path + ".lock" : path;
        int fd = -1;
        if (folder_writable || (fs_is_regular(path) && fs_writable(path))) {
            // Without a lock file the world file itself is the lock: it is rewritten in place.
            const int err = fs_lock(lock, folder_writable, path, &fd);
            if (err == EWOULDBLOCK)
                continue;
            if (err) {
                *why = lock_problem(lock, err);
                if (!fs_name_exists(path))
                    return false;
                place.path = path;
                place.notice = *why + ": the world runs from " + path + " but is not saved";
                why->clear();
                return true;
            }
            place.path = path;
            place.lock_fd = fd;
            place.in_place = !folder_writable;
            // A file the user made read-only is respected: run it, never replace it.
            place.can_save = !(fs_is_regular(path) && !fs_writable(path));
            if (!place.can_save)
                place.notice = path + " is read-only: the world runs from it but is not saved";
        } else {
            *why = folder + " cannot be written";
            return false;
        }
        if (copy > 1 && place.notice.empty())
            place.notice = "another copy is running on " + fs_join(folder, name) + ": this one keeps its world in " +
                           path;
        return true;
    }
    *why = "the worlds " + fs_join(folder, name) + " to " + numbered(name, most_copies) + " are all in use";
    return false;
}

// The world may live beside the program: the folder can take new files, or the world file there can be rewritten.
static bool beside_can_hold(const std::string &folder, const std::string &beside)
{
    return fs_writable(folder) || (fs_is_regular(beside) && fs_writable(beside));
}

world_rule built_world_rule()
{
#ifdef LIFE_INSTALLED
    return world_rule::user_data;
#else
    return world_rule::beside_program;
#endif
}

world_place claim_world_place(const char *argv0, world_rule rule)
{
    const std::string beside = save_path_from(argv0);
    const std::string folder = fs_folder_of(beside);
    const std::string name = fs_name_of(beside);
    world_place place;
    std::string why;
    if (rule == world_rule::beside_program && beside_can_hold(folder, beside) && claim_in(folder, name, place, &why))
        return place;
    // A lock beside the program that cannot be used is a problem to show, not where the world routinely lives.
    const bool routine = why.empty();
    if (rule == world_rule::beside_program && routine)
        why = "the program's folder (" + folder + ") cannot be written";
    // What led here, if anything, then what became of the world.
    const auto told = [&why](const std::string &outcome) { return why.empty() ? outcome : why + " and " + outcome; };

    // Installed, or where the user cannot write: the world belongs with the user's data.
    const std::string data = world_data_folder();
    if (data.empty()) {
        if (rule == world_rule::beside_program)
            place.path = beside;
        place.notice = told("no home folder is known: the world is not saved");
        return place;
    }
    const int err = fs_make_folders(data);
    if (err) {
        place.path = fs_join(data, name);
        place.notice = told(data + " cannot be made (" + fs_error_text(err) + "): the world is not saved");
        return place;
    }
    std::string why_not_here;
    if (claim_in(data, name, place, &why_not_here)) {
        if (place.notice.empty()) {
            place.notice = why.empty() ? "the world is kept in " + place.path
                                       : why + ": the world is kept in " + place.path;
            place.notice_is_routine = routine;
        }
        return place;
    }
    place = world_place();
    place.path = fs_join(data, name);
    place.notice = told(why_not_here + ": the world is not saved");
    return place;
}

void release_world_place(world_place &place)
{
    fs_unlock(place.lock_fd);
    place.lock_fd = -1;
    place.can_save = false;
}

world_place look_up_world_place(const char *argv0, world_rule rule)
{
    const std::string beside = save_path_from(argv0);
    world_place place;
    place.path = beside;
    const std::string data = world_data_folder();
    if ((rule == world_rule::user_data || !beside_can_hold(fs_folder_of(beside), beside)) && !data.empty())
        place.path = fs_join(data, fs_name_of(beside));
    return place;
}

std::string world_data_folder()
{
    const std::string home = fs_data_home();
    return home.empty() ? std::string() : fs_join(home, "life");
}
