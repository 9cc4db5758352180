// The counters' file: written beside the world before its rename, read back only for the world bytes it names.
#include "life_stats.h"

#include "file_system.h"
#include "life.h"
#include "replace_file.h"
#include "sha256.h"

#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstring>

// A header line with a version, so that a later build can tell its own files from these.
static const char header[] = "life counters 1";
// Far more than the largest file (50 slots of two 20-digit numbers).
enum : long long { stats_max_bytes = 16 * 1024 };

std::string life_stats_path(const std::string &world_path) { return world_path + ".stats"; }

std::string life_stats_text(const world_life &l, const std::string &world_digest)
{
    std::string out = std::string(header) + "\nworld " + world_digest + "\n";
    char line[96];
    const struct {
        const char *name;
        uint64_t value;
    } totals[] = {{"steps", l.steps},
                  {"births_exhaustion", l.births_exhaustion},
                  {"births_cull", l.births_cull},
                  {"food_eaten", l.food_eaten}};
    for (const auto &t : totals)
        out.append(line, (size_t)std::snprintf(line, sizeof line, "%s %" PRIu64 "\n", t.name, t.value));
    for (int c = 0; c < creature_slots; c++)
        out.append(line, (size_t)std::snprintf(line, sizeof line, "slot %d %" PRIu64 " %" PRIu64 "\n", c,
                                                l.generation[c], l.born_at[c]));
    return out;
}

// Reads the file a line at a time; every line must be exactly as written, LF or CRLF.
struct stats_reader {
    const std::string &text;
    size_t at = 0;
    int line = 0;
    std::string *why;

    bool fail(const std::string &what)
    {
        if (why)
            *why = "line " + std::to_string(line) + ": " + what;
        return false;
    }
    bool next(std::string &out)
    {
        if (at >= text.size())
            return false;
        size_t end = text.find('\n', at);
        if (end == std::string::npos)
            return false; // a line cut short is not a line
        out = text.substr(at, end - at);
        if (!out.empty() && out.back() == '\r')
            out.pop_back();
        at = end + 1;
        line++;
        return true;
    }
    // A word, then one or more unsigned 64-bit numbers separated by single spaces.
    bool numbers(const char *word, uint64_t *values, int count)
    {
        std::string l;
        if (!next(l))
            return fail(std::string("the file ends before \"") + word + "\"");
        const size_t w = std::strlen(word);
        if (l.compare(0, w, word) != 0)
            return fail(std::string("\"") + word + "\" expected");
        size_t p = w;
        for (int k = 0; k < count; k++) {
            if (p >= l.size() || l[p] != ' ')
                return fail(std::string("a number expected after \"") + word + "\"");
            p++;
            const size_t first = p;
            uint64_t v = 0;
            for (; p < l.size() && l[p] >= '0' && l[p] <= '9'; p++) {
                const uint64_t digit = (uint64_t)(l[p] - '0');
                if (v > (UINT64_MAX - digit) / 10)
                    return fail("a number too large");
                v = v * 10 + digit;
            }
            if (p == first || p - first > 20)
                return fail(std::string("a number expected after \"") + word + "\"");
            values[k] = v;
        }
        if (p != l.size())
            return fail("something follows the numbers");
        return true;
    }
};

bool life_stats_parse(const std::string &text, world_life &life, std::string &world_digest, std::string *why)
{
    stats_reader in{text, 0, 0, why};
    std::string l;
    if (!in.next(l) || l != header)
        return in.fail("not a counters file of this program");
    if (!in.next(l) || l.size() != 6 + 64 || l.compare(0, 6, "world ") != 0 ||
        l.find_first_not_of("0123456789abcdef", 6) != std::string::npos)
        return in.fail("the world's digest expected");
    world_life read;
    life_clear(read);
    if (!in.numbers("steps", &read.steps, 1) || !in.numbers("births_exhaustion", &read.births_exhaustion, 1) ||
        !in.numbers("births_cull", &read.births_cull, 1) || !in.numbers("food_eaten", &read.food_eaten, 1))
        return false;
    for (int c = 0; c < creature_slots; c++) {
        const std::string word = "slot " + std::to_string(c);
        uint64_t v[2];
        if (!in.numbers(word.c_str(), v, 2))
            return false;
        read.generation[c] = v[0];
        read.born_at[c] = v[1];
    }
    if (in.at != text.size())
        return in.fail("something follows the last slot");
    world_digest = l.substr(6);
    life = read;
    return true;
}

life_stats_outcome life_stats_load(world_life &life, const std::string &world_path, const std::string &world_bytes,
                                   bool set_aside)
{
    life_stats_outcome o;
    life_clear(life);
    const std::string path = life_stats_path(world_path);
    const fs_read r = fs_read_file(path, stats_max_bytes);
    if (r.status == fs_read::missing) {
        o.message = "no counters were kept with the world " + world_path + ": they start at zero";
        return o;
    }
    std::string why;
    world_life read;
    std::string digest;
    if (r.status != fs_read::ok)
        why = r.status == fs_read::failed ? "it cannot be read: " + fs_error_text(r.err) : "it is not a counters file";
    else if (!life_stats_parse(r.bytes, read, digest, &why))
        why = "it is damaged (" + why + ")";
    if (why.empty()) {
        if (digest != sha256_hex(world_bytes)) {
            o.message = "the counters in " + path + " belong to another save of the world: they start at zero";
            return o;
        }
        life = read;
        o.restarted = false;
        return o;
    }
    o.message = "the counters in " + path + " were not used: " + why;
    // Only a damaged plain file is moved; one that cannot be read now stays for the next run.
    if (set_aside && r.status == fs_read::ok && fs_is_plain_file(path)) {
        int err = 0;
        const std::string kept =
            first_free_name(path + ".bad", "", [&](const std::string &name) { return fs_rename_new(path, name); }, &err);
        o.message += kept.empty() ? "; it could not be moved aside (" + fs_error_text(err) + ")" : "; kept as " + kept;
    }
    o.message += "; they start at zero";
    return o;
}
