// The program `life` end to end: real binary, private Xvfb, keys and mouse from xdotool, pixels and save files read back.
#include "life_process.h"
#include "screenshot.h"
#include "x_server.h"
#include "xvfb_suite.h"

#include "history.h"
#include "reset.h"
#include "save_file.h"
#include "simulation.h"
#include "world.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <set>
#include <sstream>

#include <sys/stat.h>
#include <unistd.h>

namespace {

const uint32_t text_grey = 0x808080;
const uint32_t heading_grey = 0x7F7F7F;
const uint32_t head_red = 0xFF0000;
const int start_timeout_ms = 15000;
const int exit_timeout_ms = 10000;
const int lines_per_creature = (int)save_file_creature_lines();

// The save file as lines, with the items the tests look at.
struct save_view {
    std::vector<std::string> lines;
    explicit save_view(const std::string &path) : lines(read_lines(path)) {}
    long num(size_t i) const { return i < lines.size() ? std::atol(lines[i].c_str()) : -999999; }
    long time() const { return num(1); }
    long display_on() const { return num(2); }
    long cells() const { return num(3) * num(4); }
    long population() const { return num(5 + 2 * (size_t)cells()); }
    uint32_t colour(int c) const
    {
        return (uint32_t)num(5 + 2 * (size_t)cells() + 1 + (size_t)c * lines_per_creature + 7);
    }
    size_t expected_lines() const { return 5 + 2 * (size_t)cells() + 1 + (size_t)population() * lines_per_creature; }
};

// What the field looks like: whole 7 x 7 grey food squares on the 8-pixel grid, red heads,
// coloured tails, and how much is black.
struct scene {
    int food_squares = 0, heads = 0, tail_pixels = 0;
    double black_share = 0;
    std::set<uint32_t> tail_colours;
};

scene look_at(const screenshot &shot)
{
    scene s;
    long black = 0;
    for (uint32_t p : shot.pixels) {
        if (p == 0)
            black++;
        else if (p == head_red)
            s.heads++;
        else if (!food_grey(p)) {
            s.tail_pixels++;
            s.tail_colours.insert(p);
        }
    }
    s.black_share = (double)black / (double)shot.pixels.size();
    s.food_squares = food_squares(shot);
    return s;
}

void key(const std::string &name) { ASSERT_EQ(run_tool({"xdotool", "key", name}), 0) << name; }

// Where the pointer is now, as "x,y" (the suite puts it at 130,470 before each test).
std::string pointer_at()
{
    FILE *out = popen("xdotool getmouselocation --shell", "r");
    if (!out)
        return "no xdotool";
    int x = -1, y = -1;
    char line[128];
    while (std::fgets(line, sizeof line, out)) {
        std::sscanf(line, "X=%d", &x);
        std::sscanf(line, "Y=%d", &y);
    }
    pclose(out);
    return std::to_string(x) + "," + std::to_string(y);
}

// Waits for a screenshot that satisfies `ok`; returns it (or an empty one on time-out).
template <class F> screenshot wait_for_screen(F ok, int timeout_ms = 10000)
{
    screenshot last;
    poll_until(
        [&] {
            last = take_screenshot();
            return last.width > 0 && ok(last);
        },
        timeout_ms);
    return last.width > 0 && ok(last) ? last : screenshot();
}

bool clock_text_at_start(const screenshot &s) { return text_at(s, 10, 10, "time:", text_grey); }

// The screen shows the world, scaled or not: food, heads or text drawn somewhere.
bool clock_text_at_start_anywhere(const screenshot &s)
{
    return std::any_of(s.pixels.begin(), s.pixels.end(), [](uint32_t p) { return p == head_red; });
}

struct life_e2e : xvfb_suite<life_e2e> {

    // Starts the program and waits until its window shows the clock text.
    screenshot start(life_process &p)
    {
        screenshot s = wait_for_screen([&](const screenshot &shot) { return clock_text_at_start(shot); },
                                       start_timeout_ms);
        EXPECT_TRUE(p.running()) << p.error_output();
        return s;
    }

    // Ends the run and checks that it saved a whole world and exited with 0.
    void expect_clean_exit(life_process &p, const std::string &save)
    {
        ASSERT_TRUE(p.wait_exit(exit_timeout_ms)) << "the program did not end";
        EXPECT_EQ(p.exit_code, 0) << p.error_output();
        save_view v(save);
        EXPECT_EQ(v.lines.size(), v.expected_lines());
    }
};

// Builds a save file with the headless runner, for starts from a known kind of world.
std::string bench_save(const scratch_folder &dir, const std::string &name, int population)
{
    const std::string path = dir.file(name);
    EXPECT_EQ(run_tool({life_bench(), "--population", std::to_string(population), "--steps", "50", "--save", path}), 0);
    return path;
}

TEST_F(life_e2e, first_start_draws_a_new_world_and_saves_it_and_the_next_start_goes_on)
{
    const std::string program = program_in(dir, "life");
    const std::string save = dir.file("life.sav");
    long saved_time;
    {
        life_process p(program);
        screenshot shot = start(p);
        ASSERT_GT(shot.width, 0) << "no clock text at (10, 10): " << p.error_output();
        const scene s = look_at(shot);
        EXPECT_GE(s.food_squares, 10);
        EXPECT_GE(s.heads, 25);
        EXPECT_GE(s.tail_pixels, 200);
        EXPECT_GE(s.tail_colours.size(), 25u);
        EXPECT_GT(s.black_share, 0.9);
        // Let the clock reach one second so the saved time is above 0.
        ASSERT_GT(wait_for_screen([](const screenshot &x) { return read_figure(x, 10, 10, text_grey) >= 1; }).width,
                  0);
        EXPECT_FALSE(file_exists(save)) << "nothing is written before the end";
        key("x");
        expect_clean_exit(p, save);
        save_view v(save);
        EXPECT_EQ(v.lines.size(), (size_t)save_file_lines(100, 75, 50));
        EXPECT_GE(v.time(), 1);
        EXPECT_EQ(v.display_on(), 1);
        EXPECT_EQ(v.population(), 50);
        EXPECT_EQ(v.num(3), 100);
        EXPECT_EQ(v.num(4), 75);
        saved_time = v.time();
    }
    {
        life_process p(program);
        screenshot shot = start(p);
        ASSERT_GT(shot.width, 0) << p.error_output();
        const long shown = read_figure(shot, 10, 10, text_grey);
        if (shown >= 0) {
            EXPECT_GE(shown, saved_time) << "the clock goes on from the saved time";
        }
        ASSERT_GT(wait_for_screen([&](const screenshot &x) { return read_figure(x, 10, 10, text_grey) > saved_time; })
                      .width,
                  0);
        key("x");
        expect_clean_exit(p, save);
        EXPECT_GT(save_view(save).time(), saved_time);
    }
}

const char *const help_lines[] = {
    "(num.)+  inc. population", "      -  dec. population", "     F1  info",       "     F2  colorize",
    "     F3  show/hide",       "     F4  maximize field",  "    F12  brainwash", "    any  exit",
};

bool overlay_shown(const screenshot &s)
{
    for (int k = 0; k < 8; k++)
        if (!text_at(s, 10, 50 + 10 * k, help_lines[k], text_grey))
            return false;
    return text_at(s, 10, 150, "star (*) marks the best", text_grey) &&
           text_at(s, 300, 10, "  time     resources  ", heading_grey) && text_at(s, 10, 10, "time:", text_grey) &&
           text_at(s, 10, 20, " ips:", text_grey);
}

// The colour of creature row c of the overlay, read from its decimal point ("%5d *     %5.1f ").
uint32_t row_colour(const screenshot &s, int c)
{
    const int x = 300 + 15 * 8, y = 20 + 10 * c;
    for (int gy = 0; gy < 8; gy++)
        for (int gx = 0; gx < 8; gx++) {
            const uint32_t p = s.at(x + gx, y + gy);
            if (p != 0 && text_at(s, x, y, ".", p))
                return p;
        }
    return 0;
}

int rows_with_star(const screenshot &s, int population)
{
    int n = 0;
    for (int c = 0; c < population; c++)
        n += text_at(s, 300 + 6 * 8, 20 + 10 * c, "*", row_colour(s, c));
    return n;
}

TEST_F(life_e2e, f1_shows_the_overlay_with_a_row_per_creature_and_minus_drops_one)
{
    const std::string save = dir.file("life.sav");
    life_process p(program_in(dir, "life"));
    ASSERT_GT(start(p).width, 0);
    key("F1");
    screenshot shot = wait_for_screen(overlay_shown);
    ASSERT_GT(shot.width, 0) << "the overlay did not appear";
    // One row per live creature in its own colour, the star on exactly one of them; every row's colour
    // is also a tail somewhere on the field.
    const scene s = look_at(shot);
    int rows = 0, colours_on_field = 0;
    for (int c = 0; c < 50; c++) {
        const uint32_t colour = row_colour(shot, c);
        rows += colour != 0;
        colours_on_field += s.tail_colours.count(colour) > 0;
    }
    EXPECT_EQ(rows, 50);
    EXPECT_GE(colours_on_field, 40);
    EXPECT_EQ(rows_with_star(shot, 50), 1);
    EXPECT_GE(read_figure(shot, 10, 20, text_grey), 0) << "ips figure";

    key("minus");
    shot = wait_for_screen([](const screenshot &x) { return overlay_shown(x) && row_colour(x, 49) == 0; });
    ASSERT_GT(shot.width, 0) << "row 49 did not go";
    EXPECT_NE(row_colour(shot, 48), 0u);
    EXPECT_TRUE(p.running());
    key("x");
    expect_clean_exit(p, save);
    save_view v(save);
    EXPECT_EQ(v.population(), 49);
    EXPECT_EQ(v.lines.size(), (size_t)save_file_lines(100, 75, 49));
}

// Pixels of `colour` in rows y0 to y1 between x0 and x1.
int pixels_in_rows(const screenshot &s, int y0, int y1, int x0, int x1, uint32_t colour)
{
    int n = 0;
    for (int y = y0; y <= y1; y++)
        for (int x = x0; x <= x1; x++)
            n += s.at(x, y) == colour;
    return n;
}

// A world with an hour of history beside it: food eaten 100 a minute in the first half hour and 50
// in the second, deaths by exhaustion 10 then 20.  The overlay draws both under the last message's
// place, each scaled to its own top, the older half hour compressed into the left sixth.
TEST_F(life_e2e, f1_draws_the_worlds_life_under_the_overlay)
{
    bench_save(dir, "life.sav", 50);
    std::string history = history_header() + "\n";
    for (int k = 0; k <= 60; k++) {
        history_row row;
        row.utc = 1800000000 + 60 * k;
        row.seconds = 60 * k;
        row.steps = (uint64_t)k * 50 / 60;
        row.population = 50;
        row.food_eaten = k == 0 ? 0 : k <= 30 ? 100 : 50;
        row.births_exhaustion = k == 0 ? 0 : k <= 30 ? 10 : 20;
        history += history_row_text(row) + "\n";
    }
    write_bytes(dir.file("life.sav.history.csv"), history);
    life_process p(program_in(dir, "life"));
    ASSERT_GT(start(p).width, 0);
    key("F1");
    const uint32_t white = 0xFFFFFF;
    // The box spans rows 212 to 352; a curve's top is row 214, half of it row 282 (283 for a half
    // that rounds just below).
    screenshot shot = wait_for_screen([&](const screenshot &x) {
        return overlay_shown(x) && text_at(x, 10, 192, "food eaten/min, top 100", white);
    });
    ASSERT_GT(shot.width, 0) << "the graph did not appear: " << p.error_output();
    EXPECT_TRUE(text_at(shot, 10, 170, "generation ", text_grey));
    EXPECT_TRUE(text_at(shot, 10, 180, "age 00:00:", text_grey));
    EXPECT_TRUE(text_at(shot, 10, 202, "exhausted/min, top 20", head_red));
    int frame = 0;
    for (int y = 212; y <= 352; y++)
        frame += (shot.at(10, y) == text_grey) + (shot.at(290, y) == text_grey);
    EXPECT_EQ(frame, 2 * 141);
    EXPECT_TRUE(text_at(shot, 266, 356, "now", text_grey));
    // The first half hour on the left sixth, the second on the rest.
    EXPECT_GE(pixels_in_rows(shot, 214, 214, 11, 50, white), 30);
    EXPECT_GE(pixels_in_rows(shot, 282, 283, 11, 50, head_red), 30);
    EXPECT_GE(pixels_in_rows(shot, 282, 283, 60, 288, white), 200);
    EXPECT_GE(pixels_in_rows(shot, 214, 214, 60, 288, head_red), 200);
    key("x");
    expect_clean_exit(p, dir.file("life.sav"));
}

// The processor time a process has used so far (user + system), in seconds.
double cpu_seconds_of(int pid)
{
    const std::string stat = read_bytes("/proc/" + std::to_string(pid) + "/stat");
    const size_t after_name = stat.rfind(')');
    if (after_name == std::string::npos)
        return -1;
    std::istringstream fields(stat.substr(after_name + 2));
    std::string field;
    unsigned long long utime = 0, stime = 0;
    for (int k = 3; k <= 15 && fields >> field; k++) {
        if (k == 14)
            utime = std::stoull(field);
        if (k == 15)
            stime = std::stoull(field);
    }
    return (double)(utime + stime) / (double)sysconf(_SC_CLK_TCK);
}

// The settings as options.  A value out of range is refused before the display is opened; a
// speed limit keeps every second's steps near it and leaves the processor mostly idle; the
// population asked for is the world's, and saved; --no-text draws no figures.
TEST_F(life_e2e, the_settings_options_population_speed_limit_and_no_text)
{
    const std::string program = program_in(dir, "life");
    const std::vector<std::vector<std::string>> refused = {
        {"--population", "1"}, {"--population", "51"}, {"-population", "ten"}, {"--max-ips", "-5"},
        {"--max-ips", "1e3"},  {"--max-ips"}};
    for (const auto &args : refused) {
        life_process r(program, args, false);
        ASSERT_TRUE(r.wait_exit(exit_timeout_ms));
        EXPECT_EQ(r.exit_code, 1) << args[0];
        EXPECT_NE(r.error_output().find(args[0][1] == '-' ? args[0] : "-" + args[0]), std::string::npos)
            << r.error_output();
        EXPECT_EQ(r.error_output().find("DISPLAY"), std::string::npos) << "refused before the display";
    }
    EXPECT_FALSE(file_exists(dir.file("life.sav")));

    {
        life_process p(program, {"--max-ips", "1000", "--population", "10"});
        ASSERT_GT(start(p).width, 0);
        sleep_ms(2000);
        const double cpu_from = cpu_seconds_of(p.pid);
        const long from = now_ms();
        std::vector<long> figures;
        while (now_ms() - from < 10000) {
            const screenshot shot = take_screenshot();
            figures.push_back(read_figure(shot, 10, 20, text_grey));
            sleep_ms(900);
        }
        const double cpu = (cpu_seconds_of(p.pid) - cpu_from) / ((double)(now_ms() - from) / 1000.0);
        for (long ips : figures)
            EXPECT_TRUE(ips >= 900 && ips <= 1100) << "steps in a second under a limit of 1000: " << ips;
        // Unlimited, the program takes a whole core; most of what remains is drawing.
        EXPECT_LT(cpu, 0.5) << "share of a core under the limit";
        std::cout << "at most 1000 steps a second: " << cpu * 100 << " % of a core\n";
        key("x");
        expect_clean_exit(p, dir.file("life.sav"));
        EXPECT_EQ(save_view(dir.file("life.sav")).population(), 10);
    }

    life_process quiet(program, {"--no-text"});
    const screenshot shot = wait_for_screen(clock_text_at_start_anywhere, start_timeout_ms);
    ASSERT_GT(shot.width, 0);
    sleep_ms(1500);
    EXPECT_FALSE(text_at(take_screenshot(), 10, 10, "time:", text_grey));
    key("x");
    expect_clean_exit(quiet, dir.file("life.sav"));
    EXPECT_EQ(save_view(dir.file("life.sav")).population(), 10) << "the world's own population, as saved";
}

TEST_F(life_e2e, f2_gives_new_colours_that_are_saved)
{
    const std::string save = dir.file("life.sav");
    life_process p(program_in(dir, "life"));
    ASSERT_GT(start(p).width, 0);
    key("F1");
    screenshot shot = wait_for_screen(overlay_shown);
    ASSERT_GT(shot.width, 0);
    std::vector<uint32_t> before;
    for (int c = 0; c < 50; c++)
        before.push_back(row_colour(shot, c));
    key("F2");
    // Births tint a child from its parent, so a few rows change anyway; F2 changes nearly all.
    shot = wait_for_screen([&](const screenshot &x) {
        int changed = 0;
        for (int c = 0; c < 50; c++)
            changed += row_colour(x, c) != before[(size_t)c];
        return changed >= 40;
    });
    ASSERT_GT(shot.width, 0) << "colours did not change";
    key("F1"); // overlay off again, then quit
    ASSERT_GT(wait_for_screen([](const screenshot &x) { return !overlay_shown(x) && clock_text_at_start(x); }).width,
              0);
    key("x");
    expect_clean_exit(p, save);
    save_view v(save);
    int same_as_before = 0;
    for (int c = 0; c < 50; c++)
        same_as_before += v.colour(c) == before[(size_t)c];
    EXPECT_LE(same_as_before, 10);
}

TEST_F(life_e2e, f12_brings_back_the_new_world)
{
    // Every new world is the same: its colours are known before the program starts.
    const auto sim = simulation_new();
    world_reset(*sim);
    std::vector<uint32_t> fresh;
    for (int c = 0; c < 50; c++)
        fresh.push_back((uint32_t)sim->world.creatures[c].color);

    const std::string save = dir.file("life.sav");
    life_process p(program_in(dir, "life"));
    ASSERT_GT(start(p).width, 0);
    key("F2"); // colours no new world has
    key("F1");
    ASSERT_GT(wait_for_screen([](const screenshot &x) { return overlay_shown(x) && read_figure(x, 10, 10, text_grey) >= 3; })
                  .width,
              0);
    // F12, then a key that ends the run one display pass later: the saved world is the new world a
    // few thousand steps on.  Births tint a child with its parent's colour, and in a new world they come
    // fast (a third of the first colours are gone within 5000 steps), so most, not all, rows are fresh.
    ASSERT_EQ(run_tool({"xdotool", "key", "F12", "x"}), 0);
    expect_clean_exit(p, save);
    const save_view v(save);
    EXPECT_LT(v.time(), 3);
    int same = 0;
    for (int c = 0; c < 50; c++)
        same += v.colour(c) == fresh[(size_t)c];
    EXPECT_GE(same, 20);
}

TEST_F(life_e2e, f3_freezes_the_picture_and_shows_only_the_figures_then_brings_it_back)
{
    const std::string save = dir.file("life.sav");
    life_process p(program_in(dir, "life"));
    ASSERT_GT(start(p).width, 0);
    // Away from the clock text, the picture moves while the display is on.
    auto same_outside_text = [](const screenshot &a, const screenshot &b) {
        for (int y = 0; y < 600; y++)
            for (int x = 0; x < 800; x++)
                if (!(x < 10 + 11 * 8 && y < 30) && a.at(x, y) != b.at(x, y))
                    return false;
        return true;
    };
    screenshot moving = take_screenshot();
    ASSERT_GT(wait_for_screen([&](const screenshot &x) { return !same_outside_text(x, moving); }).width, 0);
    long ips_on = -1;
    poll_until([&] { return (ips_on = read_figure(take_screenshot(), 10, 20, text_grey)) > 0; }, 5000);

    key("F3");
    screenshot off = wait_for_screen([](const screenshot &x) {
        return text_at(x, 10, 10, "time:", text_grey, true) && text_at(x, 10, 20, " ips:", text_grey, true);
    });
    ASSERT_GT(off.width, 0) << "no opaque figures with the display off";
    // Figures on black, on top of a frozen last picture (until the next 21-second clear).
    ASSERT_GT(wait_for_screen([](const screenshot &x) { return read_figure(x, 10, 20, text_grey) > 0; }).width, 0);
    sleep_ms(600);
    screenshot later = take_screenshot();
    EXPECT_TRUE(same_outside_text(off, later));
    long ips_off = read_figure(later, 10, 20, text_grey);
    std::cout << "[ figures  ] ips with the display on: " << ips_on << ", off: " << ips_off << "\n";
    RecordProperty("ips_display_on", (int)ips_on);
    RecordProperty("ips_display_off", (int)ips_off);

    key("F3");
    ASSERT_GT(wait_for_screen([&](const screenshot &x) { return !same_outside_text(x, later); }).width, 0)
        << "the picture did not come back";
    key("x");
    expect_clean_exit(p, save);
    EXPECT_EQ(save_view(save).display_on(), 1);
}

TEST_F(life_e2e, a_world_saved_with_the_display_off_starts_dark_and_moves_its_figures_every_21_seconds)
{
    const std::string save = bench_save(dir, "life.sav", 50);
    {
        std::vector<std::string> lines = read_lines(save);
        ASSERT_GT(lines.size(), 3u);
        lines[2] = "0";
        std::string text;
        for (const std::string &l : lines)
            text += l + "\n";
        write_bytes(save, text);
    }
    life_process p(program_in(dir, "life"));
    // Only the figures, opaque, on a cleared screen.
    auto only_figures_at = [](const screenshot &s, int tx, int ty) {
        if (!text_at(s, tx, ty, "time:", text_grey, true) || !text_at(s, tx, ty + 10, " ips:", text_grey, true))
            return false;
        for (int y = 0; y < 600; y++)
            for (int x = 0; x < 800; x++)
                if (!(x >= tx && x < tx + 11 * 8 && y >= ty && y < ty + 18) && s.at(x, y) != 0)
                    return false;
        return true;
    };
    screenshot shot = wait_for_screen([&](const screenshot &s) { return only_figures_at(s, 10, 10); }, start_timeout_ms);
    ASSERT_GT(shot.width, 0) << p.error_output();
    long ips_off = -1;
    poll_until([&] { return (ips_off = read_figure(take_screenshot(), 10, 20, text_grey)) > 0; }, 5000);
    std::cout << "[ figures  ] ips with the display off (from start): " << ips_off << "\n";

    // The 21-second event clears the screen and the figures reappear somewhere else.
    screenshot moved = wait_for_screen(
        [](const screenshot &s) {
            if (text_at(s, 10, 10, "time:", text_grey))
                return false;
            for (int y = 0; y < 600; y++)
                for (int x = 0; x < 800; x++)
                    if (s.at(x, y) != 0)
                        return true;
            return false;
        },
        30000);
    ASSERT_GT(moved.width, 0) << "the figures did not move";
    // The new place lies in 10 .. 659 by 10 .. 559.
    bool found = false;
    for (int y = 10; y <= 559 && !found; y++)
        for (int x = 10; x <= 659 && !found; x++)
            found = only_figures_at(moved, x, y);
    EXPECT_TRUE(found) << "figures alone on a cleared screen at a new place";
    key("x");
    expect_clean_exit(p, save);
    save_view v(save);
    EXPECT_EQ(v.display_on(), 0);
    EXPECT_GE(v.time(), 21);
}

// Food is drawn as a 7 x 7 square whose grey is the food times 255, truncated and held to 0..255.
TEST_F(life_e2e, food_squares_show_their_level_and_odd_values_from_a_file_draw_safely)
{
    const std::string save = bench_save(dir, "life.sav", 2);
    std::vector<std::string> lines = read_lines(save);
    ASSERT_EQ(lines.size(), (size_t)save_file_lines(100, 75, 2));
    struct cell {
        int i, j;
        const char *food;
        uint32_t drawn; // 0: not drawn
    };
    const cell cells[] = {
        {10, 10, "1.000000", 0xFFFFFF},  {20, 10, "1e30", 0xFFFFFF},    {30, 10, "0.500000", 0x7F7F7F},
        {40, 10, "0.003000", 0},         {50, 10, "1.020000", 0xFFFFFF}, {60, 10, "-1e30", 0},
        {70, 10, "0.250000", 0x3F3F3F},
    };
    for (const cell &c : cells) {
        lines[5 + 2 * (size_t)(c.i * 75 + c.j)] = c.food;
        lines[5 + 2 * (size_t)(c.i * 75 + c.j) + 1] = "0.000000"; // no regrowth
    }
    std::string text;
    for (const std::string &l : lines)
        text += l + "\n";
    write_bytes(save, text);

    life_process p(program_in(dir, "life"));
    // Two creatures may cross a cell now and then: wait for a picture where every test cell is clear of them.
    screenshot shot = wait_for_screen([&](const screenshot &s) {
        if (!clock_text_at_start(s))
            return false;
        for (const cell &c : cells)
            for (int y = 0; y < 7; y++)
                for (int x = 0; x < 7; x++)
                    if (s.at(8 * c.i + x, 8 * c.j + y) != c.drawn)
                        return false;
        return true;
    }, start_timeout_ms);
    EXPECT_GT(shot.width, 0) << "food levels not drawn as expected: " << p.error_output();
    key("x");
    expect_clean_exit(p, save);
}

TEST_F(life_e2e, keypad_plus_at_50_changes_nothing_and_the_main_plus_quits)
{
    const std::string save = dir.file("life.sav");
    life_process p(program_in(dir, "life"));
    ASSERT_GT(start(p).width, 0);
    key("KP_Add");
    key("F1");
    screenshot shot = wait_for_screen(overlay_shown);
    ASSERT_GT(shot.width, 0) << "the program did not go on after keypad plus";
    EXPECT_NE(row_colour(shot, 49), 0u);
    EXPECT_TRUE(p.running());
    EXPECT_NE(pointer_at(), "130,470") << "opening the screen did not move the pointer";
    key("plus"); // shift and equals on the main keyboard: not a command
    expect_clean_exit(p, save);
    EXPECT_EQ(save_view(save).population(), 50);
    // Back where the user had it.
    EXPECT_EQ(pointer_at(), "130,470");
}

TEST_F(life_e2e, minus_at_2_changes_nothing_and_keypad_plus_adds_one)
{
    const std::string save = bench_save(dir, "life.sav", 2);
    ASSERT_EQ(save_view(save).population(), 2);
    life_process p(program_in(dir, "life"));
    ASSERT_GT(start(p).width, 0) << p.error_output();
    key("minus");
    key("KP_Subtract");
    key("F1");
    screenshot shot = wait_for_screen(overlay_shown);
    ASSERT_GT(shot.width, 0) << "the program did not go on after minus at 2";
    EXPECT_NE(row_colour(shot, 1), 0u);
    EXPECT_EQ(row_colour(shot, 2), 0u);
    key("KP_Add");
    shot = wait_for_screen([](const screenshot &x) { return overlay_shown(x) && row_colour(x, 2) != 0; });
    EXPECT_GT(shot.width, 0) << "keypad plus did not add a row";
    key("Escape");
    expect_clean_exit(p, save);
    EXPECT_EQ(save_view(save).population(), 3);
}

TEST_F(life_e2e, moving_the_mouse_ends_the_program_and_saves)
{
    const std::string save = dir.file("life.sav");
    life_process p(program_in(dir, "life"));
    ASSERT_GT(start(p).width, 0);
    // Past the half second in which the pointer settles after the screen opened.
    sleep_ms(1000);
    ASSERT_TRUE(p.running()) << p.error_output();
    ASSERT_EQ(run_tool({"xdotool", "mousemove", "100", "120"}), 0);
    expect_clean_exit(p, save);
    EXPECT_GE(save_view(save).time(), 0);
    // Where the user moved it, not back where it was.
    EXPECT_EQ(pointer_at(), "100,120");
}

TEST_F(life_e2e, the_close_button_ends_the_program_and_saves)
{
    const std::string save = dir.file("life.sav");
    life_process p(program_in(dir, "life"));
    ASSERT_GT(start(p).width, 0);
    ASSERT_EQ(close_windows_like_a_window_manager(), 1);
    expect_clean_exit(p, save);
    EXPECT_EQ(save_view(save).lines.size(), (size_t)save_file_lines(100, 75, 50));
}

struct life_e2e_signal : life_e2e, ::testing::WithParamInterface<int> {};

TEST_P(life_e2e_signal, ends_the_program_and_saves)
{
    const std::string save = dir.file("life.sav");
    life_process p(program_in(dir, "life"));
    ASSERT_GT(start(p).width, 0);
    p.signal(GetParam());
    expect_clean_exit(p, save);
    EXPECT_EQ(save_view(save).lines.size(), (size_t)save_file_lines(100, 75, 50));
    EXPECT_EQ(pointer_at(), "130,470") << "the pointer did not go back where it was";
    // The counters went with the world, and the history has the save's row with the same steps.
    const auto sim = simulation_new();
    const load_outcome loaded = load_world(*sim, save.c_str(), false);
    ASSERT_EQ(loaded.result, load_ok);
    EXPECT_FALSE(loaded.life_restarted) << loaded.life_message;
    EXPECT_GT(sim->life.steps, 0u);
    history_log history;
    history_open(history, save, sim->life, false, false);
    ASSERT_FALSE(history.rows.empty());
    EXPECT_EQ(history.rows.back().steps, sim->life.steps);
}

INSTANTIATE_TEST_SUITE_P(term_hup_int, life_e2e_signal, ::testing::Values(SIGTERM, SIGHUP, SIGINT),
                         [](const ::testing::TestParamInfo<int> &i) {
                             return std::string(i.param == SIGTERM ? "SIGTERM" : i.param == SIGHUP ? "SIGHUP" : "SIGINT");
                         });

TEST_F(life_e2e, screen_saver_configure_and_preview_return_at_once_without_a_display)
{
    const std::string kept = "not a world, and must stay as it is\n";
    for (auto name_args : std::vector<std::pair<std::string, std::vector<std::string>>>{
             {"life.scr", {"/c"}}, {"LIFE.SCR", {"/p", "1234"}}, {"other.Scr", {"/c:1234"}}}) {
        const std::string &name = name_args.first;
        const std::string save = dir.file(name.substr(0, name.size() - 4) + ".sav");
        write_bytes(save, kept);
        life_process p(program_in(dir, name), name_args.second, false);
        ASSERT_TRUE(p.wait_exit(exit_timeout_ms)) << name;
        EXPECT_EQ(p.exit_code, 0) << name << ": " << p.error_output();
        EXPECT_EQ(read_bytes(save), kept) << name;
    }
}

TEST_F(life_e2e, screen_saver_show_runs_and_other_names_ignore_their_arguments)
{
    for (auto name_args : std::vector<std::pair<std::string, std::vector<std::string>>>{
             {"life.SCR", {"/S"}}, {"life", {"/c"}}, {"saver.exe", {"/p", "99"}}}) {
        const std::string &name = name_args.first;
        const size_t dot = name.rfind('.');
        const std::string save = dir.file((dot == std::string::npos ? name : name.substr(0, dot)) + ".sav");
        life_process p(program_in(dir, name), name_args.second);
        ASSERT_GT(start(p).width, 0) << name << ": " << p.error_output();
        key("x");
        expect_clean_exit(p, save);
        EXPECT_EQ(save_view(save).lines.size(), (size_t)save_file_lines(100, 75, 50)) << name;
    }
}

TEST_F(life_e2e, a_refused_save_file_is_kept_aside_and_a_new_world_runs)
{
    const std::string save = dir.file("life.sav");
    const std::string garbage = "this is not a save file\n";
    write_bytes(save, garbage);
    life_process p(program_in(dir, "life"));
    screenshot shot = start(p);
    ASSERT_GT(shot.width, 0) << p.error_output();
    key("x");
    expect_clean_exit(p, save);
    const std::string err = p.error_output();
    EXPECT_NE(err.find("refused"), std::string::npos) << err;
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << "one line: " << err;
    // The refused file still exists somewhere in the folder, untouched.
    int copies = 0;
    for (const auto &entry : std::filesystem::directory_iterator(dir.path))
        copies += entry.path() != save && read_bytes(entry.path()) == garbage;
    EXPECT_EQ(copies, 1);
}

TEST_F(life_e2e, a_save_that_fails_is_reported_and_fails_the_exit_status)
{
    const std::string folder = dir.file("gone");
    std::filesystem::create_directory(folder);
    std::filesystem::create_symlink(life_bin(), folder + "/life");
    life_process p(folder + "/life", {}, true, dir.file("life.stderr")); // stderr outside the folder that goes
    ASSERT_GT(start(p).width, 0);
    std::filesystem::remove_all(folder); // nowhere left to write the world
    key("x");
    ASSERT_TRUE(p.wait_exit(exit_timeout_ms));
    EXPECT_EQ(p.exit_code, 1);
    const std::string err = p.error_output();
    EXPECT_NE(err.find("life: the world was not saved: "), std::string::npos) << err;
}

TEST_F(life_e2e, no_screen_means_an_error_and_an_untouched_save_file)
{
    const std::string save = dir.file("life.sav");
    const std::string kept = "kept\n";
    write_bytes(save, kept);
    const std::string display = server->display;
    setenv("DISPLAY", ":99999", 1); // nothing listens there
    life_process p(program_in(dir, "life"));
    setenv("DISPLAY", display.c_str(), 1);
    ASSERT_TRUE(p.wait_exit(exit_timeout_ms));
    EXPECT_NE(p.exit_code, 0);
    EXPECT_NE(p.error_output().find("life: cannot start Allegro: cannot open the X display \":99999\""),
              std::string::npos)
        << p.error_output();
    EXPECT_EQ(read_bytes(save), kept);
}

// Waits until the program's stderr holds `text`; the milliseconds it took, or -1.
long wait_for_message(life_process &p, const std::string &text, int timeout_ms)
{
    const long start = now_ms();
    if (!poll_until([&] { return p.error_output().find(text) != std::string::npos; }, timeout_ms))
        return -1;
    return now_ms() - start;
}

// A logout or an X crash: the step in progress ends, the world is saved, and the process says why.
TEST(life_e2e_display, the_display_going_away_saves_the_world)
{
    x_desktop desk;
    desk.width = 1024, desk.height = 768;
    x_server own(desk);
    ASSERT_TRUE(own.ok());
    scratch_folder dir;
    const std::string save = dir.file("life.sav");
    life_process p(program_in(dir, "life"));
    ASSERT_GT(wait_for_screen(clock_text_at_start_anywhere, start_timeout_ms).width, 0) << p.error_output();
    sleep_ms(1500);
    own.stop();
    const long lost_at = now_ms();
    ASSERT_TRUE(p.wait_exit(exit_timeout_ms)) << "still running without its display";
    std::printf("[display gone] saved and ended %ld ms after the X server was killed\n", now_ms() - lost_at);
    EXPECT_EQ(p.exit_code, 0) << p.error_output();
    EXPECT_NE(p.error_output().find("life: the X display went away"), std::string::npos) << p.error_output();
    save_view v(save);
    EXPECT_EQ(v.lines.size(), v.expected_lines());
    EXPECT_GE(v.time(), 1);
}

// Two copies on one world (a host runs one per monitor): each keeps a world of its own.
TEST_F(life_e2e, two_copies_keep_two_worlds)
{
    const std::string program = program_in(dir, "life");
    life_process first(program, {}, true, dir.file("first.stderr"));
    ASSERT_GT(start(first).width, 0);
    life_process second(program, {}, true, dir.file("second.stderr"));
    ASSERT_GE(wait_for_message(second, "life-2.sav", start_timeout_ms), 0) << second.error_output();
    sleep_ms(1500);
    // The second copy, in a window since the first holds the keyboard, may move the pointer as its
    // window opens, which the first takes for the user's hand: it then ends with its world saved.
    ASSERT_TRUE(second.running()) << second.error_output();
    first.signal(SIGTERM);
    second.signal(SIGTERM);
    ASSERT_TRUE(first.wait_exit(exit_timeout_ms) && second.wait_exit(exit_timeout_ms));
    EXPECT_EQ(first.exit_code, 0) << first.error_output();
    EXPECT_EQ(second.exit_code, 0) << second.error_output();
    for (const char *name : {"life.sav", "life-2.sav"}) {
        save_view v(dir.file(name));
        EXPECT_EQ(v.lines.size(), v.expected_lines()) << name;
    }
    EXPECT_GE(save_view(dir.file("life-2.sav")).time(), 1);
}

// Neither a FIFO nor a 2 GB sparse file holds up the start: both are refused at once, without being read.
TEST_F(life_e2e, a_fifo_and_a_huge_sparse_file_are_refused_at_once)
{
    const std::string program = program_in(dir, "life"), save = dir.file("life.sav");
    ASSERT_EQ(mkfifo(save.c_str(), 0644), 0);
    {
        life_process p(program);
        const long took = wait_for_message(p, "refused", 5000);
        ASSERT_GE(took, 0) << p.error_output();
        std::printf("[fifo] refused %ld ms after the start\n", took);
        ASSERT_GT(start(p).width, 0);
        key("x");
        ASSERT_TRUE(p.wait_exit(exit_timeout_ms));
        // Left where it is, so the run saved nowhere: the world was not saved.
        EXPECT_EQ(p.exit_code, 1) << p.error_output();
        struct stat st;
        ASSERT_EQ(lstat(save.c_str(), &st), 0);
        EXPECT_TRUE(S_ISFIFO(st.st_mode));
    }
    ASSERT_EQ(unlink(save.c_str()), 0);
    const off_t two_gb = (off_t)2 << 30;
    ASSERT_EQ(truncate((write_bytes(save, "5\n"), save.c_str()), two_gb), 0);
    {
        life_process p(program);
        const long took = wait_for_message(p, "refused", 5000);
        ASSERT_GE(took, 0) << p.error_output();
        std::printf("[2 GB sparse file] refused %ld ms after the start\n", took);
        ASSERT_GT(start(p).width, 0);
        key("x");
        expect_clean_exit(p, save);
        struct stat st;
        ASSERT_EQ(stat((save + ".bad").c_str(), &st), 0) << p.error_output();
        EXPECT_EQ(st.st_size, two_gb);
    }
}

// Installed where the user cannot write: the world lives under XDG_DATA_HOME and moves on from run to run.
TEST_F(life_e2e, from_a_read_only_folder_the_world_lives_in_the_users_data_folder)
{
    const std::string folder = read_only_program_folder(dir, "life");
    const std::string home = nobody_home(dir);
    ASSERT_FALSE(folder.empty() || home.empty());
    const std::string world_file = home + "/.local/share/life/life.sav";
    long saved_time = -1;
    for (int run = 0; run < 2; run++) {
        life_process p(folder + "/life", {}, true, dir.file("nobody.stderr"), home);
        ASSERT_GT(start(p).width, 0) << p.error_output();
        sleep_ms(1200);
        key("x");
        expect_clean_exit(p, world_file);
        const long t = save_view(world_file).time();
        EXPECT_GT(t, saved_time) << "the world goes on from the last run";
        saved_time = t;
    }
    struct stat st;
    ASSERT_EQ(stat((home + "/.local/share/life").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    EXPECT_EQ(st.st_uid, (uid_t)nobody_uid);
    EXPECT_FALSE(file_exists(folder + "/life.sav"));
}

} // namespace
