// A world's history file: its rows written and read back, appended to, thinned, and set aside.
#include "history.h"

#include "file_system.h"
#include "replace_file.h"
#include "simulation.h"

#include <cerrno>
#include <charconv>
#include <limits>

static const char header_text[] = "utc,seconds,steps,ips,population,births_exhaustion,births_cull,food_eaten,"
                                  "eaten_mean,eaten_best,resources_mean,age_mean,generation_max,generation_mean,"
                                  "food_on_field";
static const char suffix[] = ".history.csv";

// ---------------------------------------------------------------- dates

// Days since 1970-01-01 of a proleptic Gregorian date, and back (H. Hinnant's algorithms): the same
// on every system, unlike gmtime.
static int64_t days_from_civil(int64_t y, int64_t m, int64_t d)
{
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const int64_t yoe = y - era * 400;
    const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    return era * 146097 + yoe * 365 + yoe / 4 - yoe / 100 + doy - 719468;
}

static void civil_from_days(int64_t z, int64_t &y, int64_t &m, int64_t &d)
{
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const int64_t doe = z - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    d = doy - (153 * mp + 2) / 5 + 1;
    m = mp + (mp < 10 ? 3 : -9);
    y = yoe + era * 400 + (m <= 2);
}

// Four-digit years only, so every written date reads back.
static const int64_t first_utc = -62167219200, last_utc = 253402300799; // 0000-01-01, 9999-12-31 23:59:59

// ---------------------------------------------------------------- writing

// One row and its line end.  std::to_chars writes as printf does in the "C" locale whatever the
// user's, and several times faster, which the rewrite of thousands of rows at a thinning needs.
static void put_row(std::string &out, const history_row &r)
{
    const int64_t utc = r.utc < first_utc ? first_utc : r.utc > last_utc ? last_utc : r.utc;
    const int64_t day = (utc >= 0 ? utc : utc - 86399) / 86400, second = utc - day * 86400;
    int64_t y, m, d;
    civil_from_days(day, y, m, d);
    char date[20], *p = date;
    auto two = [&](int64_t v, char after) {
        *p++ = (char)('0' + v / 10);
        *p++ = (char)('0' + v % 10);
        if (after)
            *p++ = after;
    };
    two(y / 100, 0);
    two(y % 100, '-');
    two(m, '-');
    two(d, 'T');
    two(second / 3600, ':');
    two(second / 60 % 60, ':');
    two(second % 60, 'Z');
    out.append(date, sizeof date);
    char field[400]; // a double of any size, written in full
    auto whole = [&](auto v) {
        out += ',';
        out.append(field, std::to_chars(field, field + sizeof field, v).ptr);
    };
    // A value that is not a number is left empty: a missing value to a spreadsheet, pandas and gnuplot.
    auto real = [&](double v, int places) {
        out += ',';
        if (v - v == 0)
            out.append(field, std::to_chars(field, field + sizeof field, v, std::chars_format::fixed, places).ptr);
    };
    whole(r.seconds);
    whole(r.steps);
    whole(r.ips);
    whole(r.population);
    whole(r.births_exhaustion);
    whole(r.births_cull);
    whole(r.food_eaten);
    real(r.eaten_mean, 4);
    real(r.eaten_best, 4);
    real(r.resources_mean, 4);
    real(r.age_mean, 4);
    whole(r.generation_max);
    real(r.generation_mean, 4);
    real(r.food_on_field, 3);
    out += '\n';
}

std::string history_header() { return header_text; }

std::string history_row_text(const history_row &row)
{
    std::string line;
    put_row(line, row);
    line.pop_back();
    return line;
}

// ---------------------------------------------------------------- reading

// Each reader takes one field at p and the separator after it (',' or, for the last, the end), or fails.
struct field_reader {
    const char *p, *end;
    bool ok = true;

    bool separator(bool last)
    {
        if (last ? p != end : p == end || *p != ',')
            return ok = false;
        p += !last;
        return true;
    }
    uint64_t digits(int &count)
    {
        uint64_t v = 0;
        for (count = 0; p != end && *p >= '0' && *p <= '9'; count++, p++) {
            const uint64_t d = (uint64_t)(*p - '0');
            if (count >= 19 && (v > UINT64_MAX / 10 || v * 10 > UINT64_MAX - d))
                ok = false; // more than a 64-bit count holds
            v = v * 10 + d;
        }
        if (count == 0)
            ok = false;
        return v;
    }
    uint64_t whole()
    {
        int count;
        const uint64_t v = digits(count);
        separator(false);
        return v;
    }
    int64_t whole_signed(int64_t lowest, int64_t highest)
    {
        const bool minus = p != end && *p == '-';
        p += minus;
        const uint64_t v = whole();
        if ((minus && v == 0) || v > (uint64_t)INT64_MAX + minus)
            return ok = false;
        const int64_t s = minus ? (int64_t)(0 - v) : (int64_t)v;
        if (s < lowest || s > highest)
            ok = false;
        return s;
    }
    // Exactly `places` decimals.  Up to 11 digits before the point the quotient of two exact numbers
    // is the double strtod would give; larger values only come near it.
    double real(int places, bool last = false)
    {
        if (last ? p == end : p != end && *p == ',') { // left empty: not a number
            separator(last);
            return std::numeric_limits<double>::quiet_NaN();
        }
        const bool minus = p != end && *p == '-';
        p += minus;
        const char *const first = p;
        uint64_t exact = 0;
        for (; p != end && *p >= '0' && *p <= '9'; p++)
            if (p - first < 18)
                exact = exact * 10 + (uint64_t)(*p - '0');
        const long n = p - first;
        if (n == 0 || p == end || *p != '.')
            return ok = false;
        p++;
        int f;
        const uint64_t fraction = digits(f);
        static const double scale[] = {1, 10, 100, 1000, 10000};
        if (f != places || !separator(last))
            return ok = false;
        double v = (double)(exact * (uint64_t)scale[places] + fraction) / scale[places];
        if (n > 11) {
            v = 0;
            for (const char *q = first; q != first + n; q++)
                v = v * 10 + (*q - '0');
            v += (double)fraction / scale[places];
        }
        return minus ? -v : v;
    }
    int two(char after)
    {
        if (end - p < 3 || p[0] < '0' || p[0] > '9' || p[1] < '0' || p[1] > '9' || p[2] != after)
            return ok = false;
        p += 3;
        return (p[-3] - '0') * 10 + (p[-2] - '0');
    }
};

bool history_row_parse(const std::string &line, history_row &row)
{
    field_reader in{line.data(), line.data() + line.size()};
    history_row r;
    if (line.size() < 21 || line[4] != '-')
        return false;
    int year = 0;
    for (int k = 0; k < 4; k++)
        year = year * 10 + (line[k] - '0');
    in.ok = line[0] >= '0' && line[0] <= '9' && line[1] >= '0' && line[1] <= '9' && line[2] >= '0' &&
            line[2] <= '9' && line[3] >= '0' && line[3] <= '9';
    in.p += 5;
    const int month = in.two('-'), day = in.two('T'), hour = in.two(':'), minute = in.two(':'), second = in.two('Z');
    const bool leap = year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
    static const int month_days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (!in.ok || month < 1 || month > 12 || day < 1 || day > month_days[month - 1] + (month == 2 && leap) ||
        hour > 23 || minute > 59 || second > 59 || !in.separator(false))
        return false;
    r.utc = days_from_civil(year, month, day) * 86400 + hour * 3600 + minute * 60 + second;
    r.seconds = in.whole_signed(INT64_MIN, INT64_MAX);
    r.steps = in.whole();
    r.ips = (int32_t)in.whole_signed(INT32_MIN, INT32_MAX);
    r.population = (int32_t)in.whole_signed(INT32_MIN, INT32_MAX);
    r.births_exhaustion = in.whole();
    r.births_cull = in.whole();
    r.food_eaten = in.whole();
    r.eaten_mean = in.real(4);
    r.eaten_best = in.real(4);
    r.resources_mean = in.real(4);
    r.age_mean = in.real(4);
    r.generation_max = in.whole();
    r.generation_mean = in.real(4);
    r.food_on_field = in.real(3, true);
    if (!in.ok)
        return false;
    row = r;
    return true;
}

// The rows of a file's text, or what is wrong with it.  A last line without its end (an append that
// was killed) and rows beyond `steps` are dropped, which *dropped tells.
static std::string read_rows(const std::string &bytes, uint64_t steps, std::vector<history_row> &rows, bool *dropped)
{
    rows.clear();
    *dropped = false;
    if (bytes.empty())
        return std::string();
    size_t end = bytes.find('\n');
    if (end == std::string::npos || bytes.compare(0, end, header_text) != 0)
        return "not one this program wrote (its first line is not the header)";
    rows.reserve(bytes.size() / 96);
    std::string line;
    long number = 1;
    for (size_t from = end + 1; from < bytes.size(); from = end + 1) {
        end = bytes.find('\n', from);
        number++;
        if (end == std::string::npos) {
            *dropped = true;
            break;
        }
        line.assign(bytes, from, end - from);
        history_row r;
        if (!history_row_parse(line, r))
            return "damaged (line " + std::to_string(number) + " is not a row)";
        if (r.steps > steps)
            *dropped = true;
        else
            rows.push_back(r);
    }
    return std::string();
}

// ---------------------------------------------------------------- the file

// The world file beside the history, or empty for a file named otherwise (life-bench's).
static std::string world_of(const history_log &log)
{
    const size_t n = sizeof suffix - 1;
    const bool beside = log.path.size() > n && log.path.compare(log.path.size() - n, n, suffix) == 0;
    return beside ? log.path.substr(0, log.path.size() - n) : std::string();
}

static std::string file_text(const std::vector<history_row> &rows)
{
    std::string text = header_text;
    text += '\n';
    text.reserve(text.size() + rows.size() * 112);
    for (const history_row &r : rows)
        put_row(text, r);
    return text;
}

// Replaces the file whole.  It keeps its own owner and mode; a new one takes the world's.
static int write_whole(const history_log &log, const std::string &text, const char **what)
{
    const bool exists = fs_name_exists(log.path);
    if (exists && !fs_is_plain_file(log.path)) {
        *what = "it is not a regular file";
        return EINVAL;
    }
    return replace_file(log.path, text, exists ? log.path : world_of(log), what);
}

// Renames the file to the first free "<world>.history.<kind>.csv", "<world>.history.<kind>.2.csv", ...
// and gives that name, or an empty one with *err.
static std::string move_aside(const std::string &path, const char *kind, int *err)
{
    return first_free_name(path.substr(0, path.size() - 4) + "." + kind, ".csv",
                           [&](const std::string &name) { return fs_rename_new(path, name); }, err);
}

// No history in this run: what the user is told.
static std::string none(history_log &log, const std::string &why)
{
    const std::string text = "the world's history " + log.path + " " + why + ", so no history is kept in this run";
    log.path.clear();
    log.rows.clear();
    return text;
}

// Moves the file aside as damaged ("bad") when `why` says what is wrong with it, else as an old one.
static std::string set_aside_for(history_log &log, const std::string &why)
{
    int err = 0;
    const std::string name = move_aside(log.path, why.empty() ? "old" : "bad", &err);
    if (name.empty())
        return none(log, (why.empty() ? "" : "is " + why + " and ") + "could not be set aside (" + fs_error_text(err) + ")");
    log.rows.clear();
    if (why.empty())
        return "the world's counters restarted, so its history begins anew: the old one was set aside as " + name;
    return "the world's history " + log.path + " is " + why + ", so it was set aside as " + name + "; a new one begins";
}

std::string history_open(history_log &log, const std::string &world_path, const world_life &life, bool life_restarted,
                         bool writable)
{
    log = history_log();
    log.at_births_exhaustion = life.births_exhaustion;
    log.at_births_cull = life.births_cull;
    log.at_food_eaten = life.food_eaten;
    if (world_path.empty())
        return std::string();
    log.path = world_path + suffix;
    bool dropped = false;
    if (!writable) {
        // A look only: what cannot be read shows no rows, and the empty path keeps every append off the file.
        const fs_read file = fs_read_file(log.path, 4LL * history_max_bytes);
        if (file.status != fs_read::ok || life_restarted || !read_rows(file.bytes, life.steps, log.rows, &dropped).empty())
            log.rows.clear();
        log.path.clear();
        return std::string();
    }
    remove_orphans(log.path);
    if (!fs_name_exists(log.path))
        return std::string();
    if (!fs_is_plain_file(log.path))
        return none(log, "is not a regular file");
    const fs_read file = fs_read_file(log.path, 4LL * history_max_bytes);
    if (file.status == fs_read::missing)
        return std::string();
    if (file.status == fs_read::failed)
        return none(log, "cannot be read (" + fs_error_text(file.err) + ")");
    if (file.status != fs_read::ok && file.status != fs_read::too_large)
        return none(log, "is not a regular file");
    if (life_restarted)
        return set_aside_for(log, "");
    const std::string wrong = file.status == fs_read::too_large
                                  ? "larger than a history grows (" + std::to_string(file.size) + " bytes)"
                                  : read_rows(file.bytes, life.steps, log.rows, &dropped);
    if (!wrong.empty())
        return set_aside_for(log, wrong);
    const char *what = "";
    if (dropped)
        if (const int err = write_whole(log, file_text(log.rows), &what))
            return none(log, std::string("cannot be written (") + what + ": " + fs_error_text(err) + ")");
    return std::string();
}

static uint64_t since(uint64_t now, uint64_t at) { return now >= at ? now - at : now; }

history_row history_row_now(const history_log &log, const simulation &s, int32_t ips, int64_t utc)
{
    const life_figures f = life_figures_of(s);
    history_row r;
    r.utc = utc;
    r.seconds = s.world.time;
    r.steps = s.life.steps;
    r.ips = ips;
    r.population = f.population;
    r.births_exhaustion = since(s.life.births_exhaustion, log.at_births_exhaustion);
    r.births_cull = since(s.life.births_cull, log.at_births_cull);
    r.food_eaten = since(s.life.food_eaten, log.at_food_eaten);
    r.eaten_mean = f.eaten_mean;
    r.eaten_best = f.eaten_best;
    r.resources_mean = f.resources_mean;
    r.age_mean = f.age_mean;
    r.generation_max = f.generation_max;
    r.generation_mean = f.generation_mean;
    r.food_on_field = f.food_on_field;
    return r;
}

// Every other row of the older half goes, the first kept; its counts go to the row after it, so
// the totals and the rates between kept rows stay right.
static std::vector<history_row> thinned(const std::vector<history_row> &rows)
{
    const size_t half = rows.size() / 2;
    std::vector<history_row> kept;
    kept.reserve(rows.size() - half / 2);
    for (size_t i = 0; i < rows.size(); i++) {
        if (i < half && i % 2 == 1)
            continue;
        kept.push_back(rows[i]);
        if (i > 0 && i <= half && i % 2 == 0) {
            kept.back().births_exhaustion += rows[i - 1].births_exhaustion;
            kept.back().births_cull += rows[i - 1].births_cull;
            kept.back().food_eaten += rows[i - 1].food_eaten;
        }
    }
    return kept;
}

static bool failed(history_log &log, std::string *why, const char *what, int err)
{
    if (!log.write_failed && why)
        *why = "the world's history " + log.path + " cannot be written (" + what + ": " + fs_error_text(err) + ")";
    log.write_failed = true;
    return false;
}

bool history_append(history_log &log, const history_row &row, std::string *why)
{
    if (why)
        why->clear();
    if (log.path.empty())
        return true;
    const char *what = "";
    int err = ENOENT;
    long long size = 0;
    if (!log.rows.empty()) {
        std::string line;
        put_row(line, row);
        err = fs_append(log.path, line, &size, &what);
    }
    if (err == ENOENT) {
        // A new file, or one removed meanwhile, is written whole with its header: never a file without one.
        log.rows.push_back(row);
        const std::string text = file_text(log.rows);
        log.rows.pop_back();
        size = (long long)text.size();
        err = write_whole(log, text, &what);
    }
    if (err)
        return failed(log, why, what, err);
    log.rows.push_back(row);
    log.at_births_exhaustion += row.births_exhaustion;
    log.at_births_cull += row.births_cull;
    log.at_food_eaten += row.food_eaten;
    if (size > history_max_bytes && log.rows.size() > 2) {
        std::vector<history_row> rows = thinned(log.rows);
        if ((err = write_whole(log, file_text(rows), &what)) != 0)
            return failed(log, why, what, err);
        log.rows.swap(rows);
    }
    return true;
}

std::string history_set_aside(history_log &log, const world_life &life)
{
    log.rows.clear();
    log.at_births_exhaustion = life.births_exhaustion;
    log.at_births_cull = life.births_cull;
    log.at_food_eaten = life.food_eaten;
    if (log.path.empty() || !fs_name_exists(log.path))
        return std::string();
    int err = 0;
    const std::string name = move_aside(log.path, "old", &err);
    if (name.empty())
        return none(log, "could not be set aside (" + fs_error_text(err) + ")");
    return "the world's history was set aside as " + name + "; the new world's begins";
}
