// The save file: writes the world as text atomically, and reads it back without trusting a byte of it.
#include "save_file.h"

#include "brain.h"
#include "file_system.h"
#include "life_stats.h"
#include "replace_file.h"
#include "save_layout.h"
#include "sha256.h"
#include "simulation.h"
#include "world.h"
#include "world_check.h"
#include "world_place.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>


// ---------------------------------------------------------------- the two visitors of the layout

// Appends each item as the layout's format gives it.
struct text_writer {
    std::string out;
    bool integer(const int32_t &v, const char *)
    {
        char text[16];
        out.append(text, (size_t)snprintf(text, sizeof text, "%d\n", v));
        return true;
    }
    bool real(const float &v, const char *)
    {
        char text[64]; // "%f" of -FLT_MAX is 47 characters
        out.append(text, (size_t)snprintf(text, sizeof text, "%f\n", (double)v));
        return true;
    }
    // world_check has passed the counts before a walk starts.
    bool field_size(const world_state &) { return true; }
    bool population(const world_state &) { return true; }
    void cell(int, int) {}
    void creature(int) {}
};


// Takes whitespace-separated numbers from the file's bytes, counting lines for the messages.
// `refusal` says what was wrong, naming the line, once an item cannot be taken.
struct text_reader {
    const char *p = nullptr, *end = nullptr;
    int line = 1;
    std::string refusal;
    int at_creature = -1, at_i = -1, at_j = -1;
    int creature_line[creature_slots] = {};
    const char *token = nullptr;
    size_t length = 0;
    int token_line = 0, previous_token_line = 0;

    static bool is_space(char ch)
    {
        return ch == ' ' || ch == '\n' || ch == '\t' || ch == '\r' || ch == '\v' || ch == '\f';
    }

    void skip_space()
    {
        for (; p < end && is_space(*p); p++)
            line += *p == '\n';
    }

    std::string item_name(const char *name) const
    {
        char text[80];
        if (at_creature >= 0)
            snprintf(text, sizeof text, "creature %d's %s", at_creature, name);
        else if (at_i >= 0)
            snprintf(text, sizeof text, "the %s of cell (%d, %d)", name, at_i, at_j);
        else
            snprintf(text, sizeof text, "the %s", name);
        return text;
    }

    // The token as a short, printable quotation, so a message stays one line whatever the file holds.
    std::string quoted() const
    {
        std::string q = "\"";
        for (size_t k = 0; k < length && k < 24; k++)
            q += (token[k] >= 0x20 && token[k] < 0x7f) ? token[k] : '?';
        return q + (length > 24 ? "...\"" : "\"");
    }

    bool refuse_here(int at_line, const std::string &what)
    {
        refusal = "line " + std::to_string(at_line) + ": " + what;
        return false;
    }

    bool next(const char *name)
    {
        skip_space();
        if (p == end)
            return refuse_here(line, "the file ends where " + item_name(name) + " should be");
        token = p;
        previous_token_line = token_line;
        token_line = line;
        while (p < end && !is_space(*p))
            p++;
        length = (size_t)(p - token);
        return true;
    }

    enum { longest = 80 }; // far beyond any number the writer produces

    // The next token as a C string; refused when it is longer than any number could be.
    bool next_text(char (&text)[longest + 1], const char *name)
    {
        if (!next(name))
            return false;
        if (length > longest)
            return refuse_here(token_line, item_name(name) + " is " + quoted() + ", too long to be a number");
        std::memcpy(text, token, length);
        text[length] = '\0';
        return true;
    }

    bool integer(int32_t &out, const char *name)
    {
        char text[longest + 1];
        if (!next_text(text, name))
            return false;
        char *stop = nullptr;
        errno = 0;
        const long v = strtol(text, &stop, 10);
        if (stop == text || stop != text + length)
            return refuse_here(token_line, item_name(name) + " is " + quoted() + ", not a whole number");
        if (errno == ERANGE || v < INT32_MIN || v > INT32_MAX)
            return refuse_here(token_line, item_name(name) + " is " + quoted() + ", beyond a 32-bit whole number");
        out = (int32_t)v;
        return true;
    }

    // Underflow towards zero gives the nearest float, as a formatted read would.
    bool real(float &out, const char *name)
    {
        char text[longest + 1];
        if (!next_text(text, name))
            return false;
        char *stop = nullptr;
        const float v = strtof(text, &stop);
        if (stop == text || stop != text + length)
            return refuse_here(token_line, item_name(name) + " is " + quoted() + ", not a number");
        if (!std::isfinite(v))
            return refuse_here(token_line, item_name(name) + " is " + quoted() + ", not a finite number");
        if (std::memchr(text, 'x', length) || std::memchr(text, 'X', length))
            return refuse_here(token_line, item_name(name) + " is " + quoted() + ", not a decimal number");
        out = v;
        return true;
    }

    // The loops that follow index the fixed arrays with these counts.
    // The width is the item before the height just read.
    bool field_size(const world_state &w)
    {
        std::string why;
        if (!field_size_fits(w.field_width, w.field_height, &why))
            return refuse_here(field_size_fits(w.field_width, 1, nullptr) ? token_line : previous_token_line, why);
        return true;
    }
    bool population(const world_state &w)
    {
        std::string why;
        return population_fits(w.population, &why) || refuse_here(token_line, why);
    }
    void cell(int i, int j)
    {
        at_i = i;
        at_j = j;
    }
    void creature(int c)
    {
        at_creature = c;
        skip_space();
        creature_line[c] = line;
    }

    // Only whitespace may follow the last item, and a line end must: every writer ends the file with one,
    // so a file cut inside its last number (1.905300 cut to 1) is told from a whole one.
    bool at_end()
    {
        const char *after_last = p;
        skip_space();
        if (p == end) {
            if (std::memchr(after_last, '\n', (size_t)(end - after_last)))
                return true;
            return refuse_here(token_line, "the file ends inside " + quoted() + ", without the line end after it");
        }
        next("");
        return refuse_here(token_line, quoted() + " follows the last item of the world");
    }
};

long long save_file_max_bytes()
{
    static const long long bytes = [] {
        // The widest text of each format, under the locale the writer uses, plus a CRLF line end.
        fs_c_numbers c_numbers;
        const long long integer_line = snprintf(nullptr, 0, "%d", INT32_MIN) + 2;
        const long long real_line = snprintf(nullptr, 0, "%f", -(double)FLT_MAX) + 2;
        // The counts of the largest world; the walk reads nothing else.
        static world_state largest;
        largest.field_width = field_max_width;
        largest.field_height = field_max_height;
        largest.population = population_max;
        item_counter count;
        walk_world(count, (const world_state &)largest);
        return count.integers * integer_line + count.reals * real_line;
    }();
    return bytes;
}

// ---------------------------------------------------------------- writing

// Refused files that are still under their own name: no save of this process goes over them.
static std::vector<std::string> kept_refused;

static bool is_kept_refused(const std::string &path)
{
    return std::find(kept_refused.begin(), kept_refused.end(), path) != kept_refused.end();
}

// `untouched` says whether the file under the world's name is still the one from before this save.
static save_result save_failed(const std::string &path, const std::string &what, int err, bool untouched = true)
{
    save_result r;
    r.why = "cannot save the world to " + path + ": " + what + (err ? ": " + fs_error_text(err) : "") +
            (untouched ? " (the previous save file is untouched)"
                       : " (the save file may be damaged: the world is saved again at the next chance)");
    return r;
}

static save_result saved()
{
    save_result r;
    r.saved = true;
    return r;
}

// A second name for the file about to be replaced, to become "<path>.prev" once the new world is in
// place; empty when there is none (best effort: the save goes on without it).
static std::string hold_previous(const std::string &path, unsigned count)
{
    if (!fs_is_plain_file(path))
        return std::string();
    const std::string old = temporary_name(path, count, ".old");
    if (fs_link(path, old) == 0)
        return old;
    // No hard links here (some network and FAT file systems): a copy does the same.
    const fs_read r = fs_read_file(path, save_file_max_bytes());
    const char *what = nullptr;
    if (r.status != fs_read::ok || fs_write_new(old, r.bytes, path, &what) != 0)
        return std::string();
    return old;
}

static save_result save_to(const world_state &world, const std::string &given, bool keep_prev, bool in_place,
                           bool clean_up, const world_life *life)
{
    // A save through a symbolic link replaces (or creates) the file it points to, not the link.
    const std::string path = fs_link_target(given);
    if (is_kept_refused(given) || is_kept_refused(path))
        return save_failed(path, "the refused file there could not be moved aside and is kept as it is", 0);
    // Only a regular file is ever replaced: never a device, a FIFO or a folder that has the name.
    if (fs_name_exists(path) && !fs_is_plain_file(path))
        return save_failed(path, "it is not a regular file", 0);
    std::string why;
    if (!world_check(world, &why))
        return save_failed(path, "the world is not sound (" + why + ")", 0);

    text_writer text;
    text.out.reserve(1 << 21);
    {
        fs_c_numbers c_numbers;
        walk_world(text, (const world_state &)world);
    }

    const char *what = nullptr;
    if (in_place) {
        // The folder cannot take a new file: the one case without a temporary and a rename.
        bool changed = false;
        const int err = fs_rewrite(path, text.out, &what, &changed);
        if (err)
            return save_failed(path, what, err, !changed);
        return saved();
    }

    const unsigned count = temporary_count();
    const std::string temp = temporary_name(path, count, ".tmp");
    int err = fs_write_new(temp, text.out, path, &what);
    if (err == EEXIST && fs_is_own_plain_file(temp)) {
        // Left by an earlier process with our id that died while saving.
        fs_remove(temp);
        err = fs_write_new(temp, text.out, path, &what);
    }
    if (err)
        return save_failed(path, what, err);
    // The counters before the world: they name the new file, which is whole on disk already.
    std::string counters_why;
    if (life) {
        const std::string stats = life_stats_path(path);
        if (fs_name_exists(stats) && !fs_is_plain_file(stats))
            counters_why = "cannot save the world's counters to " + stats + ": it is not a regular file";
        else if (const int e = replace_file(stats, life_stats_text(*life, sha256_hex(text.out)), path, &what))
            counters_why = "cannot save the world's counters to " + stats + ": " + what + ": " + fs_error_text(e);
    }
    const std::string old = keep_prev ? hold_previous(path, count) : std::string();
    err = fs_rename(temp, path);
    if (err) {
        fs_remove(temp);
        if (!old.empty())
            fs_remove(old);
        return save_failed(path, "cannot replace the save file", err);
    }
    // The new world is whole under its name: only now does the one before it become ".prev", and
    // only over a regular file.
    if (!old.empty()) {
        const std::string prev = path + ".prev";
        if (!fs_name_exists(prev) || fs_is_plain_file(prev)) {
            if (fs_rename(old, prev) != 0)
                fs_remove(old);
        } else {
            fs_remove(old);
        }
    }
    // Make the renames themselves durable; the new file is in place either way.
    fs_sync_folder(fs_folder_of(path));
    if (clean_up) {
        remove_orphans(path);
        if (life)
            remove_orphans(life_stats_path(path));
    }
    save_result r = saved();
    r.counters_why = counters_why;
    return r;
}

save_result save_world(const world_state &w, const char *path, const world_life *life)
{
    return save_to(w, path, false, false, false, life);
}

save_result save_world(const world_state &w, const world_place &place, const world_life *life)
{
    if (!place.can_save) {
        save_result r;
        r.why = "the world is not saved to " + place.path + " in this run";
        return r;
    }
    return save_to(w, place.path, true, place.in_place, place.lock_fd >= 0, life);
}

// ---------------------------------------------------------------- reading


// A refused file that cannot leave its folder (read-only, saved in place) is copied to the user's data
// folder instead, so that one damaged file never keeps every later run from saving.
static std::string copy_to_data_home(const std::string &path, const std::string &bytes, int *err)
{
    const std::string data = world_data_folder();
    if (data.empty()) {
        *err = ENOENT;
        return std::string();
    }
    *err = fs_make_folders(data);
    if (*err)
        return std::string();
    const char *what = nullptr;
    return first_free_name(fs_join(data, fs_name_of(path)) + ".bad", "",
                          [&](const std::string &kept) { return fs_write_new(kept, bytes, "", &what); }, err);
}

// Leaves the file under its name and keeps every later save of this process off it.
static load_outcome keep_off(const std::string &path, const std::string &text)
{
    kept_refused.push_back(path);
    load_outcome o;
    o.result = load_refused;
    o.message = text;
    o.left_in_place = true;
    return o;
}

static load_outcome refused(const std::string &text)
{
    load_outcome o;
    o.result = load_refused;
    o.message = text;
    return o;
}

// Refuses a file whose contents are wrong: moves it aside to the first free "<path>.bad", ... when
// allowed; where it cannot move, copies it to the user's data folder and lets this run save over it;
// otherwise leaves it and keeps every later save of this process off it.  Only a regular file is ever
// moved (`bytes` holds it when it was read).
static load_outcome refuse(const std::string &path, const std::string &why, bool set_aside, bool regular,
                          const std::string *bytes = nullptr)
{
    const std::string text = "save file " + path + " refused: " + why + "; ";
    if (!set_aside)
        return keep_off(path, text + "left as it is, starting a new world");
    if (!regular)
        return keep_off(path, text + "left as it is, and this run will not save over it, starting a new world");
    int err = 0;
    const std::string kept =
        first_free_name(path + ".bad", "", [&](const std::string &name) { return fs_rename_new(path, name); }, &err);
    if (!kept.empty())
        return refused(text + "kept as " + kept + ", starting a new world");
    const std::string why_not = fs_error_text(err);
    if (bytes) {
        const std::string copy = copy_to_data_home(path, *bytes, &err);
        if (!copy.empty())
            return refused(text + "it could not be moved aside (" + why_not + "), so it is kept as " + copy +
                           " and this run saves over it, starting a new world");
    }
    return keep_off(path, text + "it could not be moved aside (" + why_not +
                              "), so it stays as it is and this run will not save over it, starting a new world");
}

load_outcome load_world(simulation &s, const char *path_arg, bool set_aside_refused)
{
    const std::string path = path_arg;
    const long long limit = save_file_max_bytes();
    const fs_read r = fs_read_file(path, limit);
    switch (r.status) {
    case fs_read::missing:
        return load_outcome();
    case fs_read::folder:
        return refuse(path, "it is a folder, not a file", set_aside_refused, false);
    case fs_read::special:
        return refuse(path, std::string("it is ") + r.kind + ", not a regular file", set_aside_refused, false);
    case fs_read::too_large:
        return refuse(path,
                      "it holds " + std::to_string(r.size) + " bytes, more than any world (" + std::to_string(limit) +
                          ")",
                      set_aside_refused, fs_is_plain_file(path));
    case fs_read::failed:
        // Nothing is known about its contents (too many open files, another program holding it): a
        // later run can read it, so it is neither moved nor saved over.
        return keep_off(path, "save file " + path + " cannot be read now: " + fs_error_text(r.err) +
                                  "; it is left as it is for the next run, and this run's new world is not saved");
    case fs_read::ok:
        break;
    }

    // The world only takes over the file once all of it has been read and checked.
    std::unique_ptr<world_state> held(new world_state(s.world));
    world_state &scratch = *held;
    text_reader in;
    in.p = r.bytes.data();
    in.end = r.bytes.data() + r.bytes.size();
    bool whole;
    {
        fs_c_numbers c_numbers;
        whole = walk_world(in, scratch) && in.at_end();
    }
    if (!whole)
        return refuse(path, in.refusal, set_aside_refused, true, &r.bytes);
    std::string why;
    int creature = -1;
    if (!world_check(scratch, &why, &creature))
        return refuse(path, creature >= 0 ? "line " + std::to_string(in.creature_line[creature]) + ": " + why : why,
                      set_aside_refused, true, &r.bytes);

    simulation_set_world(s, scratch);
    load_outcome o;
    o.result = load_ok;
    const life_stats_outcome counters = life_stats_load(s.life, path, r.bytes, set_aside_refused);
    o.life_restarted = counters.restarted;
    o.life_message = counters.message;
    return o;
}
