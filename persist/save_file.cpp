// The save file: writes the world as text atomically, and reads it back without trusting a byte of it.
#include "save_file.h"

#include "brain.h"
#include "file_system.h"
#include "save_layout.h"
#include "world.h"
#include "world_check.h"
#include "world_place.h"

#include <algorithm>
#include <cerrno>
#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

static std::string last_error;

const char *persist_error() { return last_error.c_str(); }

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

// Counts the items of a walk, for the size bound.
struct item_counter {
    long long integers = 0, reals = 0;
    bool integer(const int32_t &, const char *) { return ++integers > 0; }
    bool real(const float &, const char *) { return ++reals > 0; }
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

    // The next token, as a C string in text[longest + 1], for the number parsers.
    bool next_text(const char *name, char *text)
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
        if (!next_text(name, text))
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
        if (!next_text(name, text))
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

    // Only whitespace may follow the last item.
    bool at_end()
    {
        skip_space();
        if (p == end)
            return true;
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

static bool save_failed(const std::string &path, const std::string &what, int err)
{
    last_error = "cannot save the world to " + path + ": " + what + (err ? ": " + fs_error_text(err) : "") +
                 " (the previous save file is untouched)";
    return false;
}

// A process killed while saving leaves its "<name>.<pid>.tmp" or "<name>.<pid>.old" behind;
// remove those whose process is gone, so months of interrupted saves do not pile up.
static void remove_orphans(const std::string &path)
{
    const std::string folder = fs_folder_of(path);
    const std::string prefix = fs_name_of(path) + ".";
    for (const std::string &name : fs_list(folder)) {
        if (name.size() <= prefix.size() + 4 || name.compare(0, prefix.size(), prefix) != 0)
            continue;
        const std::string tail = name.substr(name.size() - 4);
        if (tail != ".tmp" && tail != ".old")
            continue;
        long pid = 0;
        size_t k = prefix.size();
        for (; k < name.size() - 4 && name[k] >= '0' && name[k] <= '9' && pid < 100000000; k++)
            pid = pid * 10 + (name[k] - '0');
        if (k != name.size() - 4 || pid <= 0 || pid == fs_process_id())
            continue;
        if (fs_process_gone(pid))
            fs_remove(fs_join(folder, name));
    }
}

// Gives the file about to be replaced the name "<path>.prev" as well, so that at every moment
// either the old or the new world is under the world's own name.  Best effort: the save goes on
// without it.
static void keep_previous(const std::string &path)
{
    if (!fs_is_regular(path))
        return;
    const std::string old = path + "." + std::to_string(fs_process_id()) + ".old";
    fs_remove(old);
    if (fs_link(path, old) != 0) {
        // No hard links here (some network and FAT file systems): a copy does the same.
        const fs_read r = fs_read_file(path, save_file_max_bytes());
        const char *what = nullptr;
        if (r.status != fs_read::ok || fs_write_new(old, r.bytes, path, &what) != 0)
            return;
    }
    if (fs_rename(old, path + ".prev") != 0)
        fs_remove(old);
}

static bool save_to(const std::string &given, bool keep_prev, bool in_place)
{
    // A save through a symbolic link replaces (or creates) the file it points to, not the link.
    const std::string path = fs_link_target(given);
    if (is_kept_refused(given) || is_kept_refused(path))
        return save_failed(path, "the refused file there could not be moved aside and is kept as it is", 0);
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
        const int err = fs_rewrite(path, text.out, &what);
        if (err)
            return save_failed(path, what, err);
        last_error.clear();
        return true;
    }

    // One temporary per process: two programs saving at once never write into each other's file.
    const std::string temp = path + "." + std::to_string(fs_process_id()) + ".tmp";
    int err = fs_write_new(temp, text.out, path, &what);
    if (err == EEXIST) {
        // Left by an earlier process with our id that died while saving.
        fs_remove(temp);
        err = fs_write_new(temp, text.out, path, &what);
    }
    if (err)
        return save_failed(path, what, err);
    if (keep_prev)
        keep_previous(path);
    err = fs_rename(temp, path);
    if (err) {
        fs_remove(temp);
        return save_failed(path, "cannot replace the save file", err);
    }
    // Make the renames themselves durable; the new file is in place either way.
    fs_sync_folder(fs_folder_of(path));
    remove_orphans(path);
    last_error.clear();
    return true;
}

bool save_world(const char *path) { return save_to(path, false, false); }

bool save_world(const world_place &place)
{
    if (!place.can_save) {
        last_error = "the world is not saved to " + place.path + " in this run";
        return false;
    }
    return save_to(place.path, true, place.in_place);
}

// ---------------------------------------------------------------- reading

static bool left_in_place = false;

bool load_left_file_in_place() { return left_in_place; }

// Refuses the file: moves it aside to the first free "<path>.bad", "<path>.bad.2", ... when allowed
// and possible; otherwise leaves it and keeps every later save of this process off it.
static load_result refuse(const std::string &path, const std::string &why, bool set_aside, bool movable)
{
    std::string text = "save file " + path + " refused: " + why + "; ";
    int err = 0;
    if (set_aside && movable) {
        for (int n = 1; n <= 10000; n++) {
            const std::string kept = path + ".bad" + (n > 1 ? "." + std::to_string(n) : std::string());
            err = fs_rename_new(path, kept);
            if (err == 0) {
                last_error = text + "kept as " + kept + ", starting a new world";
                return load_refused;
            }
            if (err != EEXIST)
                break;
        }
    }
    left_in_place = true;
    kept_refused.push_back(path);
    if (!set_aside)
        text += "left as it is";
    else if (!movable)
        text += "left as it is, and this run will not save over it";
    else
        text += "it could not be moved aside (" + fs_error_text(err) + "), so it stays as it is and this run " +
                "will not save over it";
    last_error = text + ", starting a new world";
    return load_refused;
}

load_result load_world(const char *path) { return load_world(path, true); }

load_result load_world(const char *path_arg, bool set_aside_refused)
{
    const std::string path = path_arg;
    left_in_place = false;
    const long long limit = save_file_max_bytes();
    const fs_read r = fs_read_file(path, limit);
    switch (r.status) {
    case fs_read::missing:
        last_error.clear();
        return load_missing;
    case fs_read::folder:
        return refuse(path, "it is a folder, not a file", set_aside_refused, true);
    case fs_read::special:
        return refuse(path, std::string("it is ") + r.kind + ", not a regular file", set_aside_refused, false);
    case fs_read::too_large:
        return refuse(path,
                      "it holds " + std::to_string(r.size) + " bytes, more than any world (" + std::to_string(limit) +
                          ")",
                      set_aside_refused, true);
    case fs_read::failed:
        return refuse(path, "it cannot be read: " + fs_error_text(r.err), set_aside_refused, true);
    case fs_read::ok:
        break;
    }

    // The world only takes over the file once all of it has been read and checked.
    static world_state scratch;
    scratch = world;
    text_reader in;
    in.p = r.bytes.data();
    in.end = r.bytes.data() + r.bytes.size();
    bool whole;
    {
        fs_c_numbers c_numbers;
        whole = walk_world(in, scratch) && in.at_end();
    }
    if (!whole)
        return refuse(path, in.refusal, set_aside_refused, true);
    std::string why;
    int creature = -1;
    if (!world_check(scratch, &why, &creature))
        return refuse(path, creature >= 0 ? "line " + std::to_string(in.creature_line[creature]) + ": " + why : why,
                      set_aside_refused, true);

    world = scratch;
    brains_changed();
    last_error.clear();
    return load_ok;
}
