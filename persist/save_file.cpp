// The save file: writes the world as text atomically, and reads it back without trusting a byte of it.
#include "save_file.h"

#include "brain.h"
#include "world.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <locale.h>
#include <string>

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

static std::string last_error;

const char *persist_error() { return last_error.c_str(); }

static void set_error(const std::string &text) { last_error = text; }

// Numbers are written and read in the "C" locale whatever the process uses, so a file
// written under a locale with a decimal comma still reads back everywhere.
struct c_numeric_scope {
    locale_t c_locale = newlocale(LC_NUMERIC_MASK, "C", (locale_t)0);
    locale_t previous = c_locale ? uselocale(c_locale) : (locale_t)0;
    c_numeric_scope() = default;
    c_numeric_scope(const c_numeric_scope &) = delete;
    c_numeric_scope &operator=(const c_numeric_scope &) = delete;
    ~c_numeric_scope()
    {
        if (c_locale) {
            uselocale(previous);
            freelocale(c_locale);
        }
    }
};

// ---------------------------------------------------------------- writing

static void write_world(FILE *f, const world_state &w)
{
    fprintf(f, "%d\n", w.steps_this_second);
    fprintf(f, "%d\n", w.time);
    fprintf(f, "%d\n", w.display_on);
    fprintf(f, "%d\n", w.field_width);
    fprintf(f, "%d\n", w.field_height);
    for (int i = 0; i < w.field_width; i++) {
        for (int j = 0; j < w.field_height; j++) {
            fprintf(f, "%f\n", (double)w.cell_food[cell_index(i, j)]);
            fprintf(f, "%f\n", (double)w.cell_rate[cell_index(i, j)]);
        }
    }
    fprintf(f, "%d\n", w.population);
    for (int c = 0; c < w.population; c++) {
        const creature &cr = w.creatures[c];
        fprintf(f, "%d\n", cr.age);
        fprintf(f, "%f\n", (double)cr.x);
        fprintf(f, "%f\n", (double)cr.y);
        fprintf(f, "%f\n", (double)cr.angle);
        fprintf(f, "%f\n", (double)cr.speed);
        fprintf(f, "%f\n", (double)cr.resources);
        fprintf(f, "%f\n", (double)cr.eaten);
        fprintf(f, "%d\n", cr.color);
        for (int l = 1; l < layer_count; l++) {
            for (int n = 0; n < layer_sizes[l]; n++) {
                const neuron &ne = cr.neurons[l][n];
                fprintf(f, "%d\n", ne.tag);
                fprintf(f, "%f\n", (double)ne.bias);
                fprintf(f, "%f\n", (double)ne.output);
                for (int k = 0; k < layer_sizes[l - 1]; k++)
                    fprintf(f, "%f\n", (double)ne.weight[k]);
            }
        }
    }
}

// The folder part of a path, for creating the temporary beside the file and syncing the rename.
static std::string folder_of(const std::string &path)
{
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    if (slash == 0)
        return "/";
    return path.substr(0, slash);
}

// A save through a symbolic link replaces the file it points to, not the link.
static std::string real_target(const char *path)
{
    struct stat st;
    if (lstat(path, &st) == 0 && S_ISLNK(st.st_mode)) {
        if (char *resolved = realpath(path, nullptr)) {
            std::string target = resolved;
            free(resolved);
            return target;
        }
    }
    return path;
}

// A process killed while saving leaves its "<name>.<pid>.tmp" behind; remove those whose
// process is gone, so months of interrupted saves do not pile up beside the world.
static void remove_orphan_temporaries(const std::string &path)
{
    const std::string folder = folder_of(path);
    const size_t slash = path.rfind('/');
    const std::string prefix = (slash == std::string::npos ? path : path.substr(slash + 1)) + ".";
    DIR *d = opendir(folder.c_str());
    if (!d)
        return;
    while (const dirent *e = readdir(d)) {
        const char *name = e->d_name;
        const size_t len = std::strlen(name);
        if (len <= prefix.size() + 4 || prefix.compare(0, prefix.size(), name, prefix.size()) != 0 ||
            std::strcmp(name + len - 4, ".tmp") != 0)
            continue;
        long pid = 0;
        size_t k = prefix.size();
        for (; k < len - 4 && name[k] >= '0' && name[k] <= '9' && pid < 100000000; k++)
            pid = pid * 10 + (name[k] - '0');
        if (k != len - 4 || pid <= 0 || pid == (long)getpid())
            continue;
        if (kill((pid_t)pid, 0) != 0 && errno == ESRCH)
            unlink((folder + "/" + name).c_str());
    }
    closedir(d);
}

static bool save_failed(const std::string &path, const char *what, int err)
{
    set_error("cannot save the world to " + path + ": " + what + ": " + strerror(err) +
              " (the previous save file is untouched)");
    return false;
}

bool save_world(const char *path_arg)
{
    const std::string path = real_target(path_arg);
    // The loops below index the fixed arrays with these counts; a world outside them is no
    // world to write (and the reader would refuse the file).
    if (world.field_width < 1 || world.field_width > field_max_width || world.field_height < 1 ||
        world.field_height > field_max_height || world.population < population_min ||
        world.population > population_max) {
        set_error("cannot save the world to " + path + ": its field (" + std::to_string(world.field_width) + " x " +
                  std::to_string(world.field_height) + ") or population (" + std::to_string(world.population) +
                  ") is out of range (the previous save file is untouched)");
        return false;
    }
    // One temporary per process: two programs saving at once never write into each other's file.
    const std::string temp = path + "." + std::to_string((long)getpid()) + ".tmp";

    int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 && errno == EEXIST) {
        // Left by an earlier process with our id that died while saving.
        unlink(temp.c_str());
        fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    }
    if (fd < 0)
        return save_failed(path, "cannot create the temporary file", errno);

    struct stat old;
    if (stat(path.c_str(), &old) == 0 && S_ISREG(old.st_mode))
        fchmod(fd, old.st_mode & 07777); // keep the permissions the user gave the file

    FILE *f = fdopen(fd, "w");
    if (!f) {
        const int err = errno;
        close(fd);
        unlink(temp.c_str());
        return save_failed(path, "cannot write the temporary file", err);
    }
    static char buffer[1 << 16];
    setvbuf(f, buffer, _IOFBF, sizeof buffer);

    errno = 0;
    {
        c_numeric_scope c_numbers;
        write_world(f, world);
    }
    int err = 0;
    const char *what = nullptr;
    if (ferror(f)) {
        err = errno ? errno : EIO;
        what = "write error";
    } else if (fflush(f) != 0) {
        err = errno;
        what = "write error";
    } else if (fsync(fileno(f)) != 0) {
        err = errno;
        what = "cannot flush the file to disk";
    }
    if (fclose(f) != 0 && !what) {
        err = errno;
        what = "write error on close";
    }
    if (what) {
        unlink(temp.c_str());
        return save_failed(path, what, err);
    }
    if (rename(temp.c_str(), path.c_str()) != 0) {
        err = errno;
        unlink(temp.c_str());
        return save_failed(path, "cannot replace the save file", err);
    }
    // Make the rename itself durable; the new file is in place either way.
    const int dir = open(folder_of(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        fsync(dir);
        close(dir);
    }
    remove_orphan_temporaries(path);
    last_error.clear();
    return true;
}

// ---------------------------------------------------------------- reading

// Reads whitespace-separated tokens one at a time.  A token longer than any number the
// writer produces cannot be a number and is reported as unreadable.
struct token_reader {
    FILE *f = nullptr;
    enum { capacity = 80 };
    char text[capacity + 1] = {};
    int length = 0;
    bool too_long = false;
    int read_errno = 0; // set when the file could not be read, as opposed to ending

    static bool is_space(int ch)
    {
        return ch == ' ' || ch == '\n' || ch == '\t' || ch == '\r' || ch == '\v' || ch == '\f';
    }

    int get()
    {
        errno = 0;
        const int ch = getc(f);
        if (ch == EOF && ferror(f) && !read_errno)
            read_errno = errno ? errno : EIO;
        return ch;
    }

    // False at the end of the file.
    bool next()
    {
        int ch;
        do
            ch = get();
        while (is_space(ch));
        if (ch == EOF)
            return false;
        length = 0;
        too_long = false;
        while (ch != EOF && !is_space(ch)) {
            if (length < capacity)
                text[length++] = (char)ch;
            else
                too_long = true;
            ch = get();
        }
        text[length] = '\0';
        return true;
    }

    bool read_int(int32_t &out)
    {
        if (!next() || too_long)
            return false;
        char *end = nullptr;
        errno = 0;
        const long v = strtol(text, &end, 10);
        if (end == text || end != text + length || errno == ERANGE || v < INT32_MIN || v > INT32_MAX)
            return false;
        out = (int32_t)v;
        return true;
    }

    // Overflow beyond the float range is no number this program writes (it writes "inf");
    // underflow towards zero gives the nearest float, as a formatted read would.
    bool read_real(float &out)
    {
        if (!next() || too_long)
            return false;
        char *end = nullptr;
        errno = 0;
        const float v = strtof(text, &end);
        if (end == text || end != text + length)
            return false;
        if (errno == ERANGE && std::isinf(v))
            return false;
        out = v;
        return true;
    }
};

// Why a file cannot be trusted; empty while it can.
struct load_state {
    token_reader in;
    std::string refusal;
};

// Reads the layout into w, stopping at the first item that cannot be read (that item and all
// later ones keep their values).  Returns false when the file must be refused.
static bool read_world(load_state &s, world_state &w)
{
    token_reader &in = s.in;
    int32_t header[5];
    for (int h = 0; h < 5; h++) {
        if (!in.read_int(header[h])) {
            s.refusal = "it does not start with the five numbers of a save file";
            return false;
        }
    }
    w.steps_this_second = header[0];
    w.time = header[1];
    w.display_on = header[2];
    if (header[3] < 1 || header[3] > field_max_width) {
        s.refusal = "field width " + std::to_string(header[3]) + " is outside 1.." + std::to_string(field_max_width);
        return false;
    }
    if (header[4] < 1 || header[4] > field_max_height) {
        s.refusal = "field height " + std::to_string(header[4]) + " is outside 1.." + std::to_string(field_max_height);
        return false;
    }
    w.field_width = header[3];
    w.field_height = header[4];

    for (int i = 0; i < w.field_width; i++) {
        for (int j = 0; j < w.field_height; j++) {
            if (!in.read_real(w.cell_food[cell_index(i, j)]) || !in.read_real(w.cell_rate[cell_index(i, j)]))
                return true;
        }
    }

    int32_t population;
    if (!in.read_int(population))
        return true;
    if (population < population_min || population > population_max) {
        s.refusal = "population " + std::to_string(population) + " is outside " + std::to_string(population_min) +
                    ".." + std::to_string(population_max);
        return false;
    }
    w.population = population;

    for (int c = 0; c < w.population; c++) {
        creature &cr = w.creatures[c];
        if (!in.read_int(cr.age) || !in.read_real(cr.x) || !in.read_real(cr.y) || !in.read_real(cr.angle) ||
            !in.read_real(cr.speed) || !in.read_real(cr.resources) || !in.read_real(cr.eaten) ||
            !in.read_int(cr.color))
            return true;
        for (int l = 1; l < layer_count; l++) {
            for (int n = 0; n < layer_sizes[l]; n++) {
                neuron &ne = cr.neurons[l][n];
                if (!in.read_int(ne.tag) || !in.read_real(ne.bias) || !in.read_real(ne.output))
                    return true;
                for (int k = 0; k < layer_sizes[l - 1]; k++)
                    if (!in.read_real(ne.weight[k]))
                        return true;
            }
        }
    }
    return true;
}

// Every live creature must stand inside the field, whether its position came from the file
// or from before the load: the step indexes the cell arrays with it.
static bool positions_inside(load_state &s, const world_state &w)
{
    for (int c = 0; c < w.population; c++) {
        const float x = w.creatures[c].x;
        const float y = w.creatures[c].y;
        const bool inside = std::isfinite(x) && std::isfinite(y) && x >= 0 && x < (float)w.field_width && y >= 0 &&
                            y < (float)w.field_height;
        if (!inside) {
            char where[160];
            snprintf(where, sizeof where, "creature %d stands at (%g, %g), outside the %d x %d field", c, (double)x,
                     (double)y, w.field_width, w.field_height);
            s.refusal = where;
            return false;
        }
    }
    return true;
}

// Moves a refused file aside so the next save cannot overwrite it, and says so.
static load_result refuse(const char *path, const std::string &why)
{
    const std::string kept = std::string(path) + ".bad";
    if (rename(path, kept.c_str()) == 0)
        set_error(std::string("save file ") + path + " refused: " + why + "; kept as " + kept +
                  ", starting a new world");
    else
        set_error(std::string("save file ") + path + " refused: " + why + "; it could not be moved to " + kept +
                  " (" + strerror(errno) + "), starting a new world");
    return load_refused;
}

load_result load_world(const char *path)
{
    FILE *f = fopen(path, "r");
    if (!f) {
        if (errno == ENOENT || errno == ENOTDIR) {
            last_error.clear();
            return load_missing;
        }
        return refuse(path, std::string("it cannot be opened: ") + strerror(errno));
    }

    // The world only takes over the file once all of it has been read and checked.
    static world_state scratch;
    scratch = world;
    load_state s;
    s.in.f = f;
    bool trusted;
    {
        c_numeric_scope c_numbers;
        trusted = read_world(s, scratch);
    }
    if (s.in.read_errno) {
        s.refusal = std::string("it cannot be read: ") + strerror(s.in.read_errno);
        trusted = false;
    }
    fclose(f);
    if (trusted)
        trusted = positions_inside(s, scratch);
    if (!trusted)
        return refuse(path, s.refusal);

    world = scratch;
    brains_changed();
    last_error.clear();
    return load_ok;
}
