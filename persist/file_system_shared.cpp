// What the two file-system layers share: the bounded whole-file read and the making of folders.
#include "file_system_shared.h"

#include <cerrno>

fs_read fs_read_bounded(long long size, long long max_bytes, long (*read_some)(void *, char *, size_t, int *),
                        void *context)
{
    fs_read r;
    r.size = size;
    if (size > max_bytes) {
        r.status = fs_read::too_large;
        return r;
    }
    r.bytes.resize((size_t)max_bytes + 1);
    size_t got = 0;
    while (got < r.bytes.size()) {
        const long n = read_some(context, &r.bytes[got], r.bytes.size() - got, &r.err);
        if (n < 0) {
            r.bytes.clear();
            return r;
        }
        if (n == 0)
            break;
        got += (size_t)n;
    }
    if ((long long)got > max_bytes) {
        r.bytes.clear();
        r.size = (long long)got;
        r.status = fs_read::too_large;
        return r;
    }
    r.bytes.resize(got);
    r.err = 0;
    r.status = fs_read::ok;
    return r;
}

int fs_make_folders(const std::string &path)
{
    const int state = fs_folder_state(path);
    if (state != ENOENT)
        return state;
    const std::string parent = fs_folder_of(path);
    if (parent != path) {
        const int err = fs_make_folders(parent);
        if (err)
            return err;
    }
    const int err = fs_make_one_folder(path);
    if (err && err != EEXIST)
        return err;
    return fs_folder_state(path) == 0 ? 0 : ENOTDIR;
}
