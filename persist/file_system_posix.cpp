// The save file's operating-system calls on POSIX systems (Linux first: renameat2, flock, /proc-free).
#include "file_system.h"
#include "file_system_shared.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <locale.h>

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#if defined(__linux__)
#include <sys/syscall.h>
#endif

static const char *special_kind(mode_t mode)
{
    if (S_ISFIFO(mode))
        return "a FIFO";
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return "a device";
    if (S_ISSOCK(mode))
        return "a socket";
    return "not a regular file";
}

static long read_some(void *context, char *buffer, size_t n, int *err)
{
    for (;;) {
        const ssize_t got = read(*static_cast<int *>(context), buffer, n);
        if (got >= 0)
            return (long)got;
        if (errno != EINTR) {
            *err = errno;
            return -1;
        }
    }
}

fs_read fs_read_file(const std::string &path, long long max_bytes)
{
    fs_read r;
    // Look before opening: opening a device can have effects of its own, and a FIFO would block.
    struct stat st;
    if (stat(path.c_str(), &st) != 0) {
        r.err = errno;
        r.status = (errno == ENOENT || errno == ENOTDIR) ? fs_read::missing : fs_read::failed;
        return r;
    }
    if (S_ISDIR(st.st_mode)) {
        r.status = fs_read::folder;
        return r;
    }
    if (!S_ISREG(st.st_mode)) {
        r.status = fs_read::special;
        r.kind = special_kind(st.st_mode);
        return r;
    }
    // Non-blocking, in case the name was swapped for a FIFO since the look above.
    int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        r.err = errno;
        r.status = errno == ENOENT ? fs_read::missing : fs_read::failed;
        return r;
    }
    if (fstat(fd, &st) != 0) {
        r.err = errno;
        close(fd);
        return r;
    }
    if (!S_ISREG(st.st_mode)) {
        close(fd);
        r.status = S_ISDIR(st.st_mode) ? fs_read::folder : fs_read::special;
        r.kind = special_kind(st.st_mode);
        return r;
    }
    r = fs_read_bounded((long long)st.st_size, max_bytes, read_some, &fd);
    close(fd);
    return r;
}

void fs_guard_standard_streams()
{
    for (int fd = 0; fd <= 2; fd++) {
        if (fcntl(fd, F_GETFD) != -1 || errno != EBADF)
            continue;
        // open() takes the lowest free number, which is this one; without /dev/null nothing can be done.
        const int null_fd = open("/dev/null", O_RDWR | O_NOCTTY);
        if (null_fd >= 0 && null_fd != fd) {
            close(null_fd);
            break;
        }
    }
    signal(SIGPIPE, SIG_IGN);
    signal(SIGXFSZ, SIG_IGN);
}

bool fs_name_exists(const std::string &path)
{
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
}

bool fs_is_regular(const std::string &path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool fs_is_plain_file(const std::string &path)
{
    struct stat st;
    return lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool fs_is_own_plain_file(const std::string &path)
{
    struct stat st;
    return lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == geteuid();
}

bool fs_writable(const std::string &path)
{
    if (faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) != 0)
        return false;
    // Root passes every permission check: a file nobody may write is one its owner made read-only.
    struct stat st;
    return stat(path.c_str(), &st) != 0 || S_ISDIR(st.st_mode) || (st.st_mode & 0222) != 0;
}

std::string fs_link_target(const std::string &path)
{
    std::string at = path;
    for (int depth = 0; depth < 40; depth++) {
        char target[PATH_MAX];
        const ssize_t n = readlink(at.c_str(), target, sizeof target - 1);
        if (n < 0)
            return at;
        target[n] = '\0';
        at = target[0] == '/' ? std::string(target) : fs_join(fs_folder_of(at), target);
    }
    return at;
}

int fs_rename(const std::string &from, const std::string &to)
{
    return rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
}

int fs_rename_new(const std::string &from, const std::string &to)
{
#if defined(__linux__) && defined(SYS_renameat2)
    if (syscall(SYS_renameat2, AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), 1u /* RENAME_NOREPLACE */) == 0)
        return 0;
    if (errno != ENOSYS && errno != EINVAL)
        return errno;
#endif
    // Without the system's help: a file gets its new name by a link, which never replaces; anything
    // else is renamed after a look (a small race, only on old kernels or odd file systems).
    struct stat st;
    if (lstat(to.c_str(), &st) == 0)
        return EEXIST;
    if (lstat(from.c_str(), &st) == 0 && S_ISREG(st.st_mode) && link(from.c_str(), to.c_str()) == 0) {
        unlink(from.c_str());
        return 0;
    }
    if (lstat(to.c_str(), &st) == 0)
        return EEXIST;
    return rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
}

int fs_link(const std::string &from, const std::string &to)
{
    return link(from.c_str(), to.c_str()) == 0 ? 0 : errno;
}

void fs_remove(const std::string &path) { unlink(path.c_str()); }

static int write_all(int fd, const std::string &bytes)
{
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return errno;
        done += (size_t)n;
    }
    return 0;
}

// Writes all of `bytes`, flushes them to disk and closes the file; *what names the step that failed.
static int write_flush_close(int fd, const std::string &bytes, const char **what)
{
    int err = write_all(fd, bytes);
    if (err)
        *what = "write error";
    else if (fsync(fd) != 0) {
        err = errno;
        *what = "cannot flush the file to disk";
    }
    if (close(fd) != 0 && !err) {
        err = errno;
        *what = "write error on close";
    }
    return err;
}

// Gives a file this program just created the owner and group of `like` when that is a file, else of
// the folder it is in: root saving in a user's folder leaves the user's files the user's.  Only root
// can give a file away; for anyone else this keeps what they already have or changes nothing.
// True when `like` is a regular file, whose permission bits are then in *mode.
static bool take_owner(int fd, const std::string &path, const std::string &like, mode_t *mode)
{
    struct stat model;
    bool is_file = false;
    if (!like.empty() && stat(like.c_str(), &model) == 0 && S_ISREG(model.st_mode))
        is_file = true;
    else if (stat(fs_folder_of(path).c_str(), &model) != 0)
        return false;
    // Where this process may not give it away, it stays as it was made.
    struct stat now;
    if (fstat(fd, &now) == 0 && (now.st_uid != model.st_uid || now.st_gid != model.st_gid))
        (void)!fchown(fd, model.st_uid, model.st_gid);
    if (is_file)
        *mode = model.st_mode & 07777;
    return is_file;
}

int fs_write_new(const std::string &path, const std::string &bytes, const std::string &like, const char **what)
{
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0) {
        *what = "cannot create the temporary file";
        return errno;
    }
    mode_t mode = 0;
    if (take_owner(fd, path, like, &mode))
        fchmod(fd, mode); // keep the permissions the user gave the file
    const int err = write_flush_close(fd, bytes, what);
    if (err)
        unlink(path.c_str());
    return err;
}

int fs_append(const std::string &path, const std::string &bytes, long long *size, const char **what)
{
    // Non-blocking, so a FIFO put in the file's place fails at once instead of waiting for a reader.
    const int fd = open(path.c_str(), O_WRONLY | O_APPEND | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        *what = "cannot open the file to add to it";
        return errno == ENXIO ? EINVAL : errno;
    }
    struct stat st;
    int err = fstat(fd, &st) != 0 ? errno : S_ISREG(st.st_mode) ? 0 : EINVAL;
    if (err)
        *what = "it is not a regular file";
    else if ((err = write_all(fd, bytes)) != 0)
        *what = "write error";
    else if (fstat(fd, &st) != 0) {
        err = errno;
        *what = "cannot read the size of the file";
    }
    if (close(fd) != 0 && !err) {
        err = errno;
        *what = "write error on close";
    }
    *size = err ? 0 : (long long)st.st_size;
    return err;
}

// Makes sure the file's blocks up to `length` exist without changing its size or a byte of it, so the
// write that follows cannot run out of space half-way.  0, or why not.
static int reserve(int fd, off_t length)
{
    // A reservation that keeps the size is not held to the file-size limit (ulimit -f); the writes are.
    struct rlimit limit;
    if (getrlimit(RLIMIT_FSIZE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY && (rlim_t)length > limit.rlim_cur)
        return EFBIG;
#if defined(__linux__)
    if (fallocate(fd, FALLOC_FL_KEEP_SIZE, 0, length) == 0)
        return 0;
    return errno == EINTR ? reserve(fd, length) : errno;
#else
    (void)fd;
    (void)length;
    return EOPNOTSUPP;
#endif
}

int fs_rewrite(const std::string &path, const std::string &bytes, const char **what, bool *changed)
{
    *changed = false;
    const int fd = open(path.c_str(), O_WRONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        *what = "cannot open the file for writing";
        return errno;
    }
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        close(fd);
        *what = "it is not a regular file";
        return EINVAL;
    }
    const off_t length = (off_t)bytes.size();
    int err = reserve(fd, length);
    // Where the file system cannot reserve, only a world that fits in the old one's blocks is safe.
    if (err && length <= st.st_size && (err == EOPNOTSUPP || err == ENOSYS))
        err = 0;
    if (err) {
        close(fd);
        *what = err == EOPNOTSUPP || err == ENOSYS
                    ? "the file system cannot set room aside for the larger world, so the file is left as it is"
                    : "there is no room for the world, so the file is left as it is";
        return err;
    }
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = pwrite(fd, bytes.data() + done, bytes.size() - done, (off_t)done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            err = errno;
            *what = "write error";
            break;
        }
        *changed = true;
        done += (size_t)n;
    }
    if (!err && ftruncate(fd, length) != 0) {
        err = errno;
        *what = "cannot cut the file to the world's length";
    }
    if (!err && fsync(fd) != 0) {
        err = errno;
        *what = "cannot flush the file to disk";
    }
    if (close(fd) != 0 && !err) {
        err = errno;
        *what = "write error on close";
    }
    return err;
}

void fs_sync_folder(const std::string &folder)
{
    const int dir = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        fsync(dir);
        close(dir);
    }
}

int fs_folder_state(const std::string &path)
{
    struct stat st;
    if (stat(path.c_str(), &st) != 0)
        return ENOENT;
    return S_ISDIR(st.st_mode) ? 0 : ENOTDIR;
}

int fs_make_one_folder(const std::string &path) { return mkdir(path.c_str(), 0700) == 0 ? 0 : errno; }

std::vector<std::string> fs_list(const std::string &folder)
{
    std::vector<std::string> names;
    DIR *d = opendir(folder.c_str());
    if (!d)
        return names;
    while (const dirent *e = readdir(d)) {
        if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0)
            names.push_back(e->d_name);
    }
    closedir(d);
    return names;
}

int fs_lock(const std::string &path, bool create, const std::string &like, int *handle)
{
    // flock belongs to the open file description: a second open, even in this process, competes.
    // A link is never followed: a dangling one would have its target created wherever it points.
    const int flags = O_NONBLOCK | O_NOCTTY | O_NOFOLLOW | O_CLOEXEC;
    int fd = open(path.c_str(), (create ? O_RDWR | O_CREAT : O_RDONLY) | flags, 0666);
    if (fd < 0 && create && errno == EACCES) // a lock file another user made: reading is enough to lock it
        fd = open(path.c_str(), O_RDONLY | flags);
    if (fd < 0)
        return errno;
    struct stat st = {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        close(fd);
        return S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
    }
    mode_t unused;
    if (create)
        take_owner(fd, path, like, &unused);
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int err = errno == EAGAIN ? EWOULDBLOCK : errno;
        close(fd);
        return err;
    }
    *handle = fd;
    return 0;
}

void fs_unlock(int handle)
{
    if (handle >= 0)
        close(handle);
}

long fs_process_id() { return (long)getpid(); }

std::string fs_data_home()
{
    const char *xdg = getenv("XDG_DATA_HOME");
    if (xdg && xdg[0] == '/') // the convention ignores relative values
        return xdg;
    const char *home = getenv("HOME");
    if (home && home[0] == '/')
        return fs_join(home, ".local/share");
    return std::string();
}

std::string fs_own_executable()
{
    std::string buffer(256, '\0');
    for (;;) {
        const ssize_t n = readlink("/proc/self/exe", &buffer[0], buffer.size());
        if (n < 0)
            return std::string();
        if ((size_t)n < buffer.size()) {
            buffer.resize((size_t)n);
            return buffer;
        }
        buffer.resize(buffer.size() * 2); // possibly cut short: try again with more room
    }
}

size_t fs_name_start(const std::string &path)
{
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? 0 : slash + 1;
}

std::string fs_folder_of(const std::string &path)
{
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    if (slash == 0)
        return "/";
    return path.substr(0, slash);
}

std::string fs_name_of(const std::string &path)
{
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string fs_join(const std::string &folder, const std::string &name)
{
    if (folder.empty() || folder == ".")
        return name;
    return folder.back() == '/' ? folder + name : folder + "/" + name;
}

std::string fs_error_text(int err) { return strerror(err); }

fs_c_numbers::fs_c_numbers()
{
    locale_t c = newlocale(LC_NUMERIC_MASK, "C", (locale_t)0);
    c_locale_ = (void *)c;
    previous_ = c ? (void *)uselocale(c) : nullptr;
}

fs_c_numbers::~fs_c_numbers()
{
    if (c_locale_) {
        uselocale((locale_t)previous_);
        freelocale((locale_t)c_locale_);
    }
}
