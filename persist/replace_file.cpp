// Files written beside a world: hidden temporaries renamed over the real name, and the temporaries of killed writes removed.
#include "replace_file.h"

#include "file_system.h"

#include <atomic>
#include <cerrno>

// Counts temporaries, so that no two writes of one process ever share a name.
static std::atomic<unsigned> temporaries{0};

unsigned temporary_count() { return temporaries.fetch_add(1) + 1; }

std::string temporary_name(const std::string &path, unsigned count, const char *tail)
{
    return fs_join(fs_folder_of(path), "." + fs_name_of(path) + "." + std::to_string(fs_process_id()) + "-" +
                                           std::to_string(count) + tail);
}

static bool all_digits(const std::string &text, size_t from, size_t to)
{
    if (from >= to)
        return false;
    for (size_t k = from; k < to; k++)
        if (text[k] < '0' || text[k] > '9')
            return false;
    return true;
}

void remove_orphans(const std::string &path)
{
    const std::string folder = fs_folder_of(path);
    const std::string prefix = "." + fs_name_of(path) + ".";
    for (const std::string &name : fs_list(folder)) {
        if (name.size() <= prefix.size() + 4 || name.compare(0, prefix.size(), prefix) != 0)
            continue;
        const size_t tail = name.size() - 4;
        if (name.compare(tail, 4, ".tmp") != 0 && name.compare(tail, 4, ".old") != 0)
            continue;
        const size_t dash = name.find('-', prefix.size());
        if (dash == std::string::npos || !all_digits(name, prefix.size(), dash) || !all_digits(name, dash + 1, tail))
            continue;
        const std::string orphan = fs_join(folder, name);
        if (fs_is_own_plain_file(orphan))
            fs_remove(orphan);
    }
}

int replace_file(const std::string &path, const std::string &bytes, const std::string &like, const char **what)
{
    const std::string temp = temporary_name(path, temporary_count(), ".tmp");
    int err = fs_write_new(temp, bytes, like, what);
    if (err == EEXIST && fs_is_own_plain_file(temp)) {
        // Left by an earlier process with our id that died while writing.
        fs_remove(temp);
        err = fs_write_new(temp, bytes, like, what);
    }
    if (err)
        return err;
    err = fs_rename(temp, path);
    if (err) {
        fs_remove(temp);
        *what = "cannot rename the new file over the old one";
        return err;
    }
    fs_sync_folder(fs_folder_of(path));
    return 0;
}

std::string first_free_name(const std::string &stem, const std::string &tail,
                            const std::function<int(const std::string &)> &place, int *err)
{
    for (int n = 1; n <= 10000; n++) {
        const std::string name = stem + (n > 1 ? "." + std::to_string(n) : std::string()) + tail;
        *err = place(name);
        if (*err == 0)
            return name;
        if (*err != EEXIST)
            break;
    }
    return std::string();
}
