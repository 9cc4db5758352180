// The save file's operating-system calls on Windows (wide-character Win32 calls on UTF-8 paths).
#include "file_system.h"
#include "file_system_shared.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <locale.h>

#include <fcntl.h>
#include <io.h>
#include <windows.h>

// Paths arrive as UTF-8; bytes that are not UTF-8 come from the ANSI code page (Allegro's argv).
static std::wstring wide(const std::string &text)
{
    if (text.empty())
        return std::wstring();
    UINT page = CP_UTF8;
    int n = MultiByteToWideChar(page, MB_ERR_INVALID_CHARS, text.data(), (int)text.size(), nullptr, 0);
    if (n <= 0) {
        page = CP_ACP;
        n = MultiByteToWideChar(page, 0, text.data(), (int)text.size(), nullptr, 0);
    }
    std::wstring out((size_t)(n > 0 ? n : 0), L'\0');
    if (n > 0)
        MultiByteToWideChar(page, page == CP_UTF8 ? MB_ERR_INVALID_CHARS : 0, text.data(), (int)text.size(), &out[0], n);
    return out;
}

static std::string utf8(const wchar_t *text, size_t length)
{
    if (length == 0)
        return std::string();
    const int n = WideCharToMultiByte(CP_UTF8, 0, text, (int)length, nullptr, 0, nullptr, nullptr);
    std::string out((size_t)(n > 0 ? n : 0), '\0');
    if (n > 0)
        WideCharToMultiByte(CP_UTF8, 0, text, (int)length, &out[0], n, nullptr, nullptr);
    return out;
}

// The C library's number for the last Win32 error, so the shared code sees the same values as on POSIX.
static int last_errno()
{
    switch (GetLastError()) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_BAD_NETPATH:
        return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_WRITE_PROTECT:
        return EACCES;
    case ERROR_SHARING_VIOLATION: // another program holds it open: busy, which is not the same as read-only
        return EBUSY;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
        return EEXIST;
    case ERROR_LOCK_VIOLATION:
        return EWOULDBLOCK;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
        return ENOSPC;
    case ERROR_NOT_SAME_DEVICE:
        return EXDEV;
    case ERROR_NOT_SUPPORTED:
    case ERROR_INVALID_FUNCTION:
        return ENOTSUP;
    case ERROR_DIRECTORY:
        return ENOTDIR;
    default:
        return EIO;
    }
}

// A GUI program has no console streams to guard, and Windows has no signal for a broken pipe or a size limit.
void fs_guard_standard_streams() {}

static DWORD attributes(const std::string &path) { return GetFileAttributesW(wide(path).c_str()); }

static bool is_folder(DWORD a) { return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY); }

static const DWORD share_all = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

static HANDLE open_file(const std::string &path, DWORD access, DWORD disposition, DWORD flags = 0)
{
    return CreateFileW(wide(path).c_str(), access, share_all, nullptr, disposition, FILE_ATTRIBUTE_NORMAL | flags,
                       nullptr);
}

static long read_some(void *context, char *buffer, size_t n, int *err)
{
    DWORD got = 0;
    if (!ReadFile(*static_cast<HANDLE *>(context), buffer, (DWORD)std::min<size_t>(n, 1u << 30), &got, nullptr)) {
        *err = last_errno();
        return -1;
    }
    return (long)got;
}

fs_read fs_read_file(const std::string &path, long long max_bytes)
{
    fs_read r;
    const DWORD a = attributes(path);
    if (a == INVALID_FILE_ATTRIBUTES) {
        r.err = last_errno();
        r.status = r.err == ENOENT ? fs_read::missing : fs_read::failed;
        return r;
    }
    if (is_folder(a)) {
        r.status = fs_read::folder;
        return r;
    }
    const HANDLE h = open_file(path, GENERIC_READ, OPEN_EXISTING);
    if (h == INVALID_HANDLE_VALUE) {
        r.err = last_errno();
        r.status = r.err == ENOENT ? fs_read::missing : fs_read::failed;
        return r;
    }
    // A name such as CON or a pipe opens as something other than a disk file.
    if (GetFileType(h) != FILE_TYPE_DISK) {
        CloseHandle(h);
        r.status = fs_read::special;
        r.kind = "a device";
        return r;
    }
    LARGE_INTEGER size;
    if (!GetFileSizeEx(h, &size)) {
        r.err = last_errno();
        CloseHandle(h);
        return r;
    }
    HANDLE file = h;
    r = fs_read_bounded((long long)size.QuadPart, max_bytes, read_some, &file);
    CloseHandle(h);
    return r;
}

bool fs_name_exists(const std::string &path) { return attributes(path) != INVALID_FILE_ATTRIBUTES; }

bool fs_is_regular(const std::string &path)
{
    const DWORD a = attributes(path);
    return a != INVALID_FILE_ATTRIBUTES && !(a & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE));
}

bool fs_is_plain_file(const std::string &path)
{
    const DWORD a = attributes(path);
    const DWORD not_plain = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE | FILE_ATTRIBUTE_REPARSE_POINT;
    if (a == INVALID_FILE_ATTRIBUTES || (a & not_plain))
        return false;
    // A reserved name such as CON carries plain attributes; only its handle tells it is a device.  No access
    // is asked for, so a file another program holds open still opens here.
    const HANDLE h = open_file(path, 0, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT);
    if (h == INVALID_HANDLE_VALUE)
        return GetLastError() == ERROR_SHARING_VIOLATION;
    const bool disk = GetFileType(h) == FILE_TYPE_DISK;
    CloseHandle(h);
    return disk;
}

// Windows keeps no owner that a save could take from a user: any plain file is this user's to replace.
bool fs_is_own_plain_file(const std::string &path) { return fs_is_plain_file(path); }

bool fs_writable(const std::string &path)
{
    const DWORD a = attributes(path);
    if (a == INVALID_FILE_ATTRIBUTES)
        return false;
    if (is_folder(a)) {
        // Folder permissions are access lists that _waccess does not read: creating a file is the only true test.
        const std::string probe = fs_join(path, ".life-" + std::to_string(GetCurrentProcessId()) + ".probe");
        const HANDLE h = CreateFileW(wide(probe).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                     FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
        if (h == INVALID_HANDLE_VALUE)
            return false;
        CloseHandle(h);
        return true;
    }
    if (a & FILE_ATTRIBUTE_READONLY)
        return false;
    const HANDLE h = open_file(path, GENERIC_WRITE, OPEN_EXISTING);
    if (h == INVALID_HANDLE_VALUE)
        return GetLastError() == ERROR_SHARING_VIOLATION; // held open by another program: busy, not read-only
    CloseHandle(h);
    return true;
}

// Links are rare on Windows and replacing one replaces the link itself, which is what a save then does.
std::string fs_link_target(const std::string &path) { return path; }

// Whether another program holds the file open in a way that forbids deleting or renaming it.
static bool held_open(const std::string &path)
{
    const HANDLE h = open_file(path, DELETE, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT);
    if (h != INVALID_HANDLE_VALUE) {
        CloseHandle(h);
        return false;
    }
    return GetLastError() == ERROR_SHARING_VIOLATION;
}

int fs_rename(const std::string &from, const std::string &to)
{
    if (MoveFileExW(wide(from).c_str(), wide(to).c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return 0;
    // Replacing a file another program holds open is refused as access denied; say it is busy instead.
    const int err = last_errno();
    return err == EACCES && (held_open(to) || held_open(from)) ? EBUSY : err;
}

int fs_rename_new(const std::string &from, const std::string &to)
{
    return MoveFileExW(wide(from).c_str(), wide(to).c_str(), MOVEFILE_WRITE_THROUGH) ? 0 : last_errno();
}

int fs_link(const std::string &from, const std::string &to)
{
    return CreateHardLinkW(wide(to).c_str(), wide(from).c_str(), nullptr) ? 0 : last_errno();
}

void fs_remove(const std::string &path) { DeleteFileW(wide(path).c_str()); }

// Writes everything; *what names the step that failed.
static int write_whole(HANDLE h, const std::string &bytes, const char **what)
{
    size_t done = 0;
    while (done < bytes.size()) {
        DWORD n = 0;
        const DWORD want = (DWORD)std::min<size_t>(bytes.size() - done, 1u << 30);
        if (!WriteFile(h, bytes.data() + done, want, &n, nullptr)) {
            *what = "write error";
            return last_errno();
        }
        done += n;
    }
    return 0;
}

// Writes everything and flushes it to the disk; *what names the step that failed.
static int write_flushed(HANDLE h, const std::string &bytes, const char **what)
{
    if (const int err = write_whole(h, bytes, what))
        return err;
    if (!FlushFileBuffers(h)) {
        *what = "cannot flush the file to disk";
        return last_errno();
    }
    return 0;
}

int fs_write_new(const std::string &path, const std::string &bytes, const std::string &, const char **what)
{
    // Nothing to copy from `like`: Windows keeps no owner to hand on, and the one permission bit it keeps on a
    // file, read-only, is never saved over.
    const HANDLE h = open_file(path, GENERIC_WRITE, CREATE_NEW);
    if (h == INVALID_HANDLE_VALUE) {
        *what = "cannot create the temporary file";
        return last_errno();
    }
    const int err = write_flushed(h, bytes, what);
    CloseHandle(h);
    if (err)
        fs_remove(path);
    return err;
}

int fs_append(const std::string &path, const std::string &bytes, long long *size, const char **what)
{
    // Append access alone makes every write land at the end; the link itself is opened, never followed.
    const HANDLE h = open_file(path, FILE_APPEND_DATA, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT);
    if (h == INVALID_HANDLE_VALUE) {
        *what = "cannot open the file to add to it";
        return last_errno();
    }
    BY_HANDLE_FILE_INFORMATION info;
    int err = 0;
    if (GetFileType(h) != FILE_TYPE_DISK) {
        err = EINVAL;
        *what = "it is not a regular file";
    } else if (GetFileInformationByHandle(h, &info) && (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        err = ELOOP;
        *what = "it is not a regular file";
    } else
        err = write_whole(h, bytes, what);
    LARGE_INTEGER length = {};
    if (!err && !GetFileSizeEx(h, &length)) {
        err = last_errno();
        *what = "cannot read the size of the file";
    }
    CloseHandle(h);
    *size = err ? 0 : (long long)length.QuadPart;
    return err;
}

// Moves the end of the file to `length`, growing or shrinking it.
static bool set_length(HANDLE h, long long length)
{
    LARGE_INTEGER at;
    at.QuadPart = length;
    return SetFilePointerEx(h, at, nullptr, FILE_BEGIN) && SetEndOfFile(h);
}

int fs_rewrite(const std::string &path, const std::string &bytes, const char **what, bool *changed)
{
    *changed = false;
    const HANDLE h = open_file(path, GENERIC_WRITE, OPEN_EXISTING);
    if (h == INVALID_HANDLE_VALUE) {
        *what = "cannot open the file for writing";
        return last_errno();
    }
    if (GetFileType(h) != FILE_TYPE_DISK) {
        CloseHandle(h);
        *what = "it is not a regular file";
        return EINVAL;
    }
    LARGE_INTEGER size;
    if (!GetFileSizeEx(h, &size)) {
        const int err = last_errno();
        CloseHandle(h);
        *what = "cannot read the size of the file";
        return err;
    }
    const long long old_length = (long long)size.QuadPart, new_length = (long long)bytes.size();
    // The room for a larger world is taken before a byte is written, so a full disk leaves the old world whole.
    if (new_length > old_length && !set_length(h, new_length)) {
        const int err = last_errno();
        set_length(h, old_length);
        CloseHandle(h);
        *what = "there is no room for the larger world, so the file is left as it is";
        return err;
    }
    LARGE_INTEGER start = {};
    if (!SetFilePointerEx(h, start, nullptr, FILE_BEGIN)) {
        const int err = last_errno();
        set_length(h, old_length);
        CloseHandle(h);
        *what = "cannot go to the start of the file";
        return err;
    }
    *changed = true;
    int err = write_flushed(h, bytes, what);
    if (!err && !set_length(h, new_length)) {
        err = last_errno();
        *what = "cannot set the length of the file";
    }
    if (!err && !FlushFileBuffers(h)) {
        err = last_errno();
        *what = "cannot flush the file to disk";
    }
    CloseHandle(h);
    return err;
}

// Renames are made durable by MOVEFILE_WRITE_THROUGH; a folder cannot be flushed on its own.
void fs_sync_folder(const std::string &) {}

int fs_folder_state(const std::string &path)
{
    const DWORD a = attributes(path);
    if (a == INVALID_FILE_ATTRIBUTES)
        return ENOENT;
    return is_folder(a) ? 0 : ENOTDIR;
}

int fs_make_one_folder(const std::string &path)
{
    return CreateDirectoryW(wide(path).c_str(), nullptr) ? 0 : last_errno();
}

std::vector<std::string> fs_list(const std::string &folder)
{
    std::vector<std::string> names;
    WIN32_FIND_DATAW found;
    const HANDLE h = FindFirstFileW(wide(fs_join(folder, "*")).c_str(), &found);
    if (h == INVALID_HANDLE_VALUE)
        return names;
    do {
        const std::string name = utf8(found.cFileName, wcslen(found.cFileName));
        if (name != "." && name != "..")
            names.push_back(name);
    } while (FindNextFileW(h, &found));
    FindClose(h);
    return names;
}

// Byte-range locks on Windows are mandatory: the lock sits far beyond the end of the file, so a
// world file that is its own lock can still be read and rewritten.
static OVERLAPPED lock_range()
{
    OVERLAPPED at = {};
    at.OffsetHigh = 0x40000000;
    return at;
}

// Windows keeps no owner to hand on, so `like` is not needed.
int fs_lock(const std::string &path, bool create, const std::string &, int *handle)
{
    // The link itself is opened, never what it leads to, so a planted link cannot aim the lock elsewhere.
    const DWORD flags = FILE_FLAG_OPEN_REPARSE_POINT;
    const DWORD access = create ? GENERIC_READ | GENERIC_WRITE : GENERIC_READ;
    HANDLE h = open_file(path, access, create ? OPEN_ALWAYS : OPEN_EXISTING, flags);
    if (h == INVALID_HANDLE_VALUE && create && GetLastError() == ERROR_ACCESS_DENIED) // another user's lock file
        h = open_file(path, GENERIC_READ, OPEN_EXISTING, flags);
    if (h == INVALID_HANDLE_VALUE)
        return last_errno();
    BY_HANDLE_FILE_INFORMATION info;
    if (GetFileInformationByHandle(h, &info) && (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        CloseHandle(h);
        return ELOOP;
    }
    if (GetFileType(h) != FILE_TYPE_DISK) {
        CloseHandle(h);
        return EINVAL;
    }
    OVERLAPPED at = lock_range();
    if (!LockFileEx(h, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at)) {
        const DWORD why = GetLastError();
        CloseHandle(h);
        return why == ERROR_LOCK_VIOLATION || why == ERROR_IO_PENDING ? EWOULDBLOCK : EIO;
    }
    // The C library's descriptor owns the handle from here: closing it closes the handle and drops the lock.
    const int fd = _open_osfhandle((intptr_t)h, _O_RDONLY);
    if (fd < 0) {
        CloseHandle(h);
        return EMFILE;
    }
    *handle = fd;
    return 0;
}

void fs_unlock(int handle)
{
    if (handle >= 0)
        _close(handle);
}

long fs_process_id() { return (long)GetCurrentProcessId(); }

std::string fs_data_home()
{
    const wchar_t *appdata = _wgetenv(L"APPDATA");
    if (!appdata)
        return std::string();
    const std::string path = utf8(appdata, wcslen(appdata));
    // Only an absolute folder: "C:\..." or "\\server\...".
    const bool drive = path.size() >= 3 && path[1] == ':' && (path[2] == '\\' || path[2] == '/');
    const bool share = path.size() >= 3 && (path[0] == '\\' || path[0] == '/') && (path[1] == '\\' || path[1] == '/');
    return drive || share ? path : std::string();
}

std::string fs_own_executable()
{
    std::wstring buffer(260, L'\0');
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, &buffer[0], (DWORD)buffer.size());
        if (n == 0)
            return std::string();
        if (n < buffer.size())
            return utf8(buffer.data(), n);
        buffer.resize(buffer.size() * 2); // cut short: try again with more room
    }
}

static bool is_separator(char c) { return c == '\\' || c == '/'; }

size_t fs_name_start(const std::string &path)
{
    const size_t slash = path.find_last_of("\\/");
    if (slash != std::string::npos)
        return slash + 1;
    return path.size() >= 2 && path[1] == ':' ? 2 : 0; // "C:life.scr"
}

std::string fs_folder_of(const std::string &path)
{
    const size_t start = fs_name_start(path);
    if (start == 0)
        return ".";
    // The root of a drive or the top of a path keeps its separator: "C:\", "\".
    size_t end = start;
    const size_t root = path.size() >= 2 && path[1] == ':' ? 2 : 0;
    if (end - 1 > root && is_separator(path[end - 1]))
        end--;
    else if (end - 1 == root && root == 0 && is_separator(path[0]))
        return path.substr(0, 1);
    return path.substr(0, end);
}

std::string fs_name_of(const std::string &path) { return path.substr(fs_name_start(path)); }

std::string fs_join(const std::string &folder, const std::string &name)
{
    if (folder.empty() || folder == ".")
        return name;
    const char last = folder.back();
    return is_separator(last) || (folder.size() == 2 && last == ':') ? folder + name : folder + "\\" + name;
}

std::string fs_error_text(int err)
{
    if (err == EWOULDBLOCK)
        return "held by another process";
    // The C library's own words for these are POSIX's or missing.
    if (err == EBUSY)
        return "in use by another program";
    if (err == ELOOP)
        return "a symbolic link or junction, which is not followed";
    return strerror(err);
}

// c_locale_ holds this thread's earlier locale mode, previous_ its earlier LC_NUMERIC name.
fs_c_numbers::fs_c_numbers()
{
    c_locale_ = (void *)(intptr_t)_configthreadlocale(_ENABLE_PER_THREAD_LOCALE);
    const char *now = setlocale(LC_NUMERIC, nullptr);
    previous_ = now ? (void *)_strdup(now) : nullptr;
    setlocale(LC_NUMERIC, "C");
}

fs_c_numbers::~fs_c_numbers()
{
    if (previous_) {
        setlocale(LC_NUMERIC, (const char *)previous_);
        free(previous_);
    }
    _configthreadlocale((int)(intptr_t)c_locale_);
}
