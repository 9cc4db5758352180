// The operating system as the save file sees it: reading, replacing, linking, locking and finding folders.
// file_system_posix.cpp and file_system_windows.cpp are its two implementations.
#pragma once

#include <string>
#include <vector>

// Error numbers are the C library's errno values (EEXIST, ENOENT, EWOULDBLOCK, ...); 0 means success.

// Makes the process safe from how it was started, before it opens any file or display: standard
// descriptors 0, 1 and 2 that are closed are opened on the null device (else the next file or the
// X connection would take them, and a message would be written into it), and a write to a pipe whose
// reader has gone, or past a file-size limit, fails with an error instead of killing the process.
void fs_guard_standard_streams();

// What reading a whole file gave.  `bytes` holds the file only when status is fs_read_ok.
struct fs_read {
    enum status_t { ok, missing, folder, special, too_large, failed } status = failed;
    std::string bytes;
    long long size = 0;     // the size the file reported (too_large)
    int err = 0;            // why it failed (failed)
    const char *kind = "";  // what it is instead of a file (special): "a FIFO", "a device", "a socket"
};
// Reads a regular file (following links) of at most max_bytes without ever blocking: a FIFO or a
// device is reported as special without being read, and a larger file without reading a byte.
fs_read fs_read_file(const std::string &path, long long max_bytes);

// Whether the name exists at all (a link counts, even a dangling one).
bool fs_name_exists(const std::string &path);
// Whether the name leads to a regular file (following links).
bool fs_is_regular(const std::string &path);
// Whether the name is a regular file itself, not a link to one.
bool fs_is_plain_file(const std::string &path);
// Whether the name is a regular file itself owned by this process's effective user (any plain file on Windows).
bool fs_is_own_plain_file(const std::string &path);
// Whether this process, with its effective ids, may write there (following links).  A file with no
// write permission at all (read-only attribute on Windows) counts as not writable even for root; a
// file another program merely holds open is writable.
bool fs_writable(const std::string &path);
// The file a chain of symbolic links leads to, even when it does not exist yet; path itself when it is no link.
std::string fs_link_target(const std::string &path);

// Renames, replacing what `to` names.
int fs_rename(const std::string &from, const std::string &to);
// Renames only when `to` does not exist: EEXIST otherwise, never replacing anything.
int fs_rename_new(const std::string &from, const std::string &to);
// A second name for a file (hard link).
int fs_link(const std::string &from, const std::string &to);
void fs_remove(const std::string &path);

// Creates the file (EEXIST when it exists) holding `bytes`, flushed to disk.  It takes the owner, group
// and permissions of `like` when that is an existing file, else the owner and group of its folder, so
// that a run as root never takes a user's file away.  On failure *what names the step that failed and
// no file is left.
int fs_write_new(const std::string &path, const std::string &bytes, const std::string &like, const char **what);
// Appends `bytes` to an existing regular file, never through a symbolic link and never into a FIFO or a
// device (ELOOP, EINVAL); not flushed.  ENOENT when there is no file: a new one is made whole with
// replace_file, never begun by an append.  *size is the file's size afterwards; *what names the failed step.
int fs_append(const std::string &path, const std::string &bytes, long long *size, const char **what);
// Replaces the contents of an existing regular file with `bytes`, flushed to disk.  The room for the
// new contents is reserved before a byte changes; when it cannot be, the file is left as it was.
// *changed tells whether the file was touched at all, so that a failure can say what it left.
int fs_rewrite(const std::string &path, const std::string &bytes, const char **what, bool *changed);
// Makes renames and creations in the folder durable.
void fs_sync_folder(const std::string &folder);
// Creates the folder and its missing parents, private to the user; 0 when it is a folder afterwards.
int fs_make_folders(const std::string &path);
// Names in a folder (without "." and "..").
std::vector<std::string> fs_list(const std::string &folder);

// An exclusive lock the system drops when the process dies (flock; LockFileEx on Windows, on a range
// beyond the file's end).  0 and *handle set when taken; EWOULDBLOCK when someone else holds it;
// another error when the file cannot be had (a symbolic link is never followed: ELOOP).  A lock file
// it creates takes the owner and group of `like` when that exists, else those of its folder.
int fs_lock(const std::string &path, bool create, const std::string &like, int *handle);
void fs_unlock(int handle);

long fs_process_id();

// The per-user folder for data that matters: $XDG_DATA_HOME, else $HOME/.local/share (%APPDATA% on
// Windows); empty when unknown.
std::string fs_data_home();
// The running program's own file, or an empty string when the system cannot tell.
std::string fs_own_executable();

// Where the file name begins: after the last separator ('/'; '\', '/' or a drive's "C:" on Windows).
size_t fs_name_start(const std::string &path);

std::string fs_folder_of(const std::string &path);
std::string fs_name_of(const std::string &path);
std::string fs_join(const std::string &folder, const std::string &name);
std::string fs_error_text(int err);

// While one lives, this thread formats and reads numbers in the "C" locale, so a world written
// under a locale with a decimal comma still reads back everywhere.
class fs_c_numbers {
public:
    fs_c_numbers();
    ~fs_c_numbers();
    fs_c_numbers(const fs_c_numbers &) = delete;
    fs_c_numbers &operator=(const fs_c_numbers &) = delete;

private:
    void *c_locale_;
    void *previous_;
};
