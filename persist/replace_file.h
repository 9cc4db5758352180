// Files written beside a world: hidden temporaries renamed over the real name, and the temporaries of killed writes removed.
#pragma once

#include <functional>
#include <string>

// A new number for each temporary this process makes, so that no two writes share a name.
unsigned temporary_count();
// ".<name>.<pid>-<count><tail>" beside path: a hidden name no user would choose.
std::string temporary_name(const std::string &path, unsigned count, const char *tail);
// Removes temporaries ("...tmp" and "...old" of the form above) a killed write left beside path.  Only
// called with the world's lock held, so no living process is writing one of these names.
void remove_orphans(const std::string &path);
// Writes bytes to a temporary, flushed, and renames it over path, which keeps a whole file under its
// name at every moment.  The file takes the owner, group and mode of `like` (see fs_write_new).  0,
// or an error number with *what naming the step that failed; nothing is left behind on failure.
int replace_file(const std::string &path, const std::string &bytes, const std::string &like, const char **what);

// The first free name of stem + tail, stem + ".2" + tail, stem + ".3" + tail, ... (a file set aside is never
// put over an earlier one): `place` tries a name and gives EEXIST when it is taken.  The name it took,
// or empty with *err saying why none could be had.
std::string first_free_name(const std::string &stem, const std::string &tail,
                            const std::function<int(const std::string &)> &place, int *err);
