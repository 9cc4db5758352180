// Starts and stops of the real program by the dozen (by the hundred under the `soak` label), ended every way a
// user or a system can end it, and keys and mouse at the worst moments: the save file is never lost or torn.
#include "life_process.h"
#include "screenshot.h"
#include "x_server.h"
#include "xvfb_suite.h"

#include "save_file.h"
#include "simulation.h"
#include "world.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include <sys/inotify.h>
#include <sys/wait.h>
#include <unistd.h>

// Starts and stops in the normal run; the long build sets a few hundred.
#ifndef LIFECYCLE_CYCLES
#define LIFECYCLE_CYCLES 30
#endif

namespace {

const int cycles = LIFECYCLE_CYCLES;
const int exit_timeout_ms = 20000;
// A run still going this long after its ending missed it (input sent before the program listened).
const int missed_ending_ms = 6000;
const int lines_per_creature = (int)save_file_creature_lines();

// What a save file holds, as far as these tests need it; `problem` is empty for a whole, loadable file.
struct save_state {
    bool exists = false;
    std::string bytes;
    long time = 0;
    long population = 0;
    std::string problem;
};

// Reads the file at `path` and checks it is complete: the line count its own header and population
// call for, a final newline, and a load by the program's own reader that accepts it.
save_state inspect_save(const std::string &path, const std::string &scratch)
{
    save_state s;
    s.exists = file_exists(path);
    if (!s.exists)
        return s;
    s.bytes = read_bytes(path);
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t nl; (nl = s.bytes.find('\n', start)) != std::string::npos; start = nl + 1)
        lines.push_back(s.bytes.substr(start, nl - start));
    if (start != s.bytes.size()) {
        s.problem = "the last line has no newline (torn write)";
        return s;
    }
    if (lines.size() < 6) {
        s.problem = "only " + std::to_string(lines.size()) + " lines";
        return s;
    }
    s.time = std::atol(lines[1].c_str());
    const long cells = std::atol(lines[3].c_str()) * std::atol(lines[4].c_str());
    const size_t pop_line = 5 + 2 * (size_t)cells;
    if (cells <= 0 || pop_line >= lines.size()) {
        s.problem = "the field is cut short";
        return s;
    }
    s.population = std::atol(lines[pop_line].c_str());
    const size_t expected = pop_line + 1 + (size_t)s.population * lines_per_creature;
    if (lines.size() != expected) {
        s.problem = std::to_string(lines.size()) + " lines where the header calls for " + std::to_string(expected);
        return s;
    }
    // The reader moves a refused file aside, so it reads a copy.
    write_bytes(scratch, s.bytes);
    const auto sim = simulation_new();
    const load_outcome loaded = load_world(*sim, scratch.c_str());
    if (loaded.result != load_ok)
        s.problem = std::string("the program's reader refuses it: ") + loaded.message;
    else if (sim->world.time != s.time || sim->world.population != s.population)
        s.problem = "the reader disagrees with the header";
    std::remove(scratch.c_str());
    return s;
}

// Temporary files left in the folder (a save killed half way leaves its own).
std::vector<std::string> temp_files(const std::string &folder)
{
    std::vector<std::string> out;
    for (const auto &e : std::filesystem::directory_iterator(folder)) {
        const std::string name = e.path().filename().string();
        if (name.size() > 4 && name.compare(name.size() - 4, 4, ".tmp") == 0)
            out.push_back(name);
    }
    return out;
}

void xdotool(const std::vector<std::string> &args)
{
    std::vector<std::string> argv = {"xdotool"};
    argv.insert(argv.end(), args.begin(), args.end());
    EXPECT_EQ(run_tool(argv), 0) << "xdotool " << (args.empty() ? "" : args[0]);
}

// Watches whether anyone opens the save file during a run: the program opens it only to load it
// (a save writes a new file and renames it over), so a run that never opened it never loaded the world.
struct open_watch {
    int fd = -1;
    explicit open_watch(const std::string &path)
    {
        if (!file_exists(path))
            return;
        fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        if (fd >= 0 && inotify_add_watch(fd, path.c_str(), IN_OPEN) < 0) {
            close(fd);
            fd = -1;
        }
    }
    ~open_watch()
    {
        if (fd >= 0)
            close(fd);
    }
    open_watch(const open_watch &) = delete;
    open_watch &operator=(const open_watch &) = delete;
    bool watching() const { return fd >= 0; }
    bool opened() const
    {
        alignas(inotify_event) char buf[4096];
        const ssize_t n = fd >= 0 ? read(fd, buf, sizeof buf) : -1;
        // Other events (the watch ending when a save replaces the file) are not opens.
        for (ssize_t at = 0; at + (ssize_t)sizeof(inotify_event) <= n;) {
            const inotify_event *e = reinterpret_cast<const inotify_event *>(buf + at);
            if (e->mask & IN_OPEN)
                return true;
            at += (ssize_t)sizeof(inotify_event) + (ssize_t)e->len;
        }
        return false;
    }
};

// An xdotool command chain left running in the background while the program starts; reaped on destruction.
struct background_tool {
    pid_t pid = -1;
    explicit background_tool(const std::vector<std::string> &args) : pid(start_tool(args, false)) {}
    ~background_tool()
    {
        int status;
        if (pid > 0)
            waitpid(pid, &status, 0);
    }
    background_tool(const background_tool &) = delete;
    background_tool &operator=(const background_tool &) = delete;
};

// Pointer movements every 3 ms for about `ms` milliseconds, as one xdotool chain.
std::vector<std::string> mouse_flood(int ms)
{
    std::vector<std::string> args = {"xdotool"};
    for (int t = 0; t < ms; t += 3) {
        const bool odd = (t / 3) % 2;
        args.insert(args.end(), {"mousemove", odd ? "120" : "680", odd ? "110" : "490", "sleep", "0.003"});
    }
    return args;
}

// Command keys, F12 and population changes among them, then a key that ends the program, over and
// over every few milliseconds for about `ms` milliseconds.
std::vector<std::string> key_flood(int ms)
{
    const char *const keys[] = {"F12", "F4", "KP_Add", "KP_Subtract", "minus", "F2", "F1", "q"};
    std::vector<std::string> args = {"xdotool"};
    for (int t = 0; t < ms; t += 4)
        args.insert(args.end(), {"key", keys[(t / 4) % 8], "sleep", "0.004"});
    return args;
}

enum ending { by_key, by_mouse, by_sigterm, by_sigkill, by_sigkill_in_save, ending_count };
const char *const ending_names[] = {"key", "mouse", "SIGTERM", "SIGKILL", "SIGKILL while saving"};

struct lifecycle : xvfb_suite<lifecycle> {
    void SetUp() override
    {
        xvfb_suite::SetUp();
        if (HasFatalFailure())
            return;
        program = program_in(dir, "life");
        save = dir.file("life.sav");
    }

    // Moves the pointer somewhere it is not: a real motion event.
    void move_mouse()
    {
        pointer = (pointer + 1) % 4;
        const char *xs[] = {"100", "700", "650", "150"};
        const char *ys[] = {"100", "500", "120", "480"};
        xdotool({"mousemove", xs[pointer], ys[pointer]});
    }

    // A run that missed its ending (input that came before the screen opened, or a movement in the
    // half second the pointer settles after it) is stopped the way a user would: moving the mouse
    // again, once a second, until it ends.
    void stop_by_mouse(life_process &p)
    {
        missed_endings++;
        for (const long give_up = now_ms() + exit_timeout_ms; !p.ended && now_ms() < give_up;) {
            move_mouse();
            p.wait_exit(1000);
        }
    }

    // The run has ended: the file must be the one before or a newer whole one, never older, never torn.
    // Returns the new state, which the next run starts from.
    save_state after_run(const save_state &before, life_process &p, ending how, const std::string &what,
                         const open_watch &watch)
    {
        SCOPED_TRACE(what);
        // Read before the check below opens the file itself.
        const bool not_loaded = watch.watching() && !watch.opened();
        save_state now = inspect_save(save, dir.file("check.sav"));
        if (not_loaded) {
            EXPECT_EQ(now.bytes, before.bytes) << "dismissed before the world was loaded, yet the file changed";
            outcome[std::string(ending_names[how]) + ": dismissed before the load"]++;
        }
        EXPECT_EQ(now.problem, "") << p.error_output();
        if (before.exists) {
            EXPECT_TRUE(now.exists) << "the save file is gone";
        }
        // F12 (a new world) sets the clock back to 0 on purpose.
        if (now.exists && before.exists && now.bytes != before.bytes && !brainwashed) {
            EXPECT_GE(now.time, before.time) << "the world went back in time";
        }
        EXPECT_FALSE(file_exists(save + ".bad")) << "a save file was refused";
        const bool killed = how == by_sigkill || how == by_sigkill_in_save;
        if (!killed) {
            // Ended by the program itself: a clean exit, and no temporary left behind.
            if (how == by_sigterm && p.exit_code == -1) {
                EXPECT_EQ(now.bytes, before.bytes) << "killed by SIGTERM before its handler, yet the file changed";
            } else {
                EXPECT_EQ(p.exit_code, 0) << p.error_output();
            }
            EXPECT_TRUE(temp_files(dir.path).size() <= stale_temps) << "a finished run left a temporary file";
        }
        stale_temps = temp_files(dir.path).size();
        outcome[std::string(ending_names[how]) + (now.bytes == before.bytes ? ": file untouched" : ": file newer")]++;
        return now;
    }

    // One start and one stop; `delay_ms` after the start the ending is delivered.
    save_state one_cycle(const save_state &before, ending how, int delay_ms, int kill_after_ms)
    {
        open_watch watch(save);
        life_process p(program);
        sleep_ms(delay_ms);
        switch (how) {
        case by_key:
            xdotool({"key", "q"});
            break;
        case by_mouse:
            move_mouse();
            break;
        case by_sigterm:
            p.signal(SIGTERM);
            break;
        case by_sigkill:
            p.signal(SIGKILL);
            break;
        case by_sigkill_in_save: {
            // Ask for the save, then kill the program once its temporary file appears.
            p.signal(SIGTERM);
            const std::string temp = save + "." + std::to_string(p.pid) + ".tmp";
            // Polled tightly: the whole save takes a few tens of milliseconds.
            const long give_up = now_ms() + exit_timeout_ms;
            while (!file_exists(temp) && p.running() && now_ms() < give_up)
                usleep(200);
            if (p.running()) {
                sleep_ms(kill_after_ms);
                p.signal(SIGKILL);
                kills_in_save++;
            }
            break;
        }
        default:
            break;
        }
        if (!p.wait_exit(missed_ending_ms))
            stop_by_mouse(p);
        EXPECT_TRUE(p.ended) << "the program did not end: " << p.error_output() << p.thread_stacks();
        return after_run(before, p, how, std::string(ending_names[how]) + " after " + std::to_string(delay_ms) + " ms",
                         watch);
    }

    void print_outcomes(const char *title)
    {
        std::printf("[%s]", title);
        for (const auto &o : outcome)
            std::printf(" %s %d;", o.first.c_str(), o.second);
        std::printf(" missed endings (stopped by the mouse) %d; kills inside a save %d; stale temporaries %zu\n",
                    missed_endings, kills_in_save, stale_temps);
        std::fflush(stdout);
    }

    std::string program, save;
    int pointer = 0;
    bool brainwashed = false; // F12 was among the keys of the run
    size_t stale_temps = 0;
    int missed_endings = 0, kills_in_save = 0;
    std::map<std::string, int> outcome;
};

} // namespace

TEST_F(lifecycle, starts_and_stops_never_lose_or_tear_the_world)
{
    std::mt19937 rng(20261208);
    save_state state = inspect_save(save, dir.file("check.sav"));
    long first_saved_time = -1;
    for (int n = 0; n < cycles; n++) {
        const ending how = (ending)(rng() % ending_count);
        // Mostly while running, one in five during start-up.
        const int delay_ms = rng() % 5 == 0 ? (int)(rng() % 150) : 200 + (int)(rng() % 1800);
        const int kill_after_ms = (int)(rng() % 40);
        state = one_cycle(state, how, delay_ms, kill_after_ms);
        if (HasFailure()) {
            print_outcomes("lifecycle, stopped at the first failure");
            FAIL() << "cycle " << n;
        }
        if (state.exists && first_saved_time < 0)
            first_saved_time = state.time;
    }
    print_outcomes("lifecycle");
    std::printf("[lifecycle] %d starts and stops; world time went from %ld to %ld s\n", cycles, first_saved_time,
                state.time);
    ASSERT_TRUE(state.exists) << "no run ever saved";
}

// Mouse movement, keys and SIGTERM during start-up: the run ends or goes on, and a start dismissed
// before the world was loaded leaves the file exactly as it was.
TEST_F(lifecycle, mouse_keys_and_sigterm_during_start_up)
{
    std::mt19937 rng(7);
    // A world to protect, from a first run ended normally.
    save_state state;
    {
        open_watch none(save);
        life_process p(program);
        sleep_ms(1500);
        xdotool({"key", "q"});
        ASSERT_TRUE(p.wait_exit(exit_timeout_ms));
        state = after_run(state, p, by_key, "first run", none);
        ASSERT_TRUE(state.exists);
    }
    const int runs = cycles / 3 * 2 + 3;
    for (int n = 0; n < runs; n++) {
        open_watch watch(save);
        // The input starts a little before or after the program and goes on through its start-up.
        const int delay_ms = (int)(rng() % 100);
        const ending how = n % 3 == 0 ? by_mouse : n % 3 == 1 ? by_key : by_sigterm;
        const bool mouse = how == by_mouse;
        std::vector<std::string> flood;
        if (how != by_sigterm)
            flood = mouse ? mouse_flood(1500) : key_flood(1500);
        std::unique_ptr<background_tool> early;
        if (delay_ms < 20 && !flood.empty())
            early = std::make_unique<background_tool>(flood);
        life_process p(program);
        sleep_ms(delay_ms);
        std::unique_ptr<background_tool> later;
        if (!early && !flood.empty())
            later = std::make_unique<background_tool>(flood);
        // A screen locker's SIGTERM at a random moment of the start-up.
        if (how == by_sigterm)
            p.signal(SIGTERM);
        brainwashed = how == by_key;
        if (!p.wait_exit(missed_ending_ms))
            stop_by_mouse(p);
        ASSERT_TRUE(p.ended) << "the program did not end: " << p.error_output() << p.thread_stacks();
        early.reset();
        later.reset();
        state = after_run(state, p, how,
                          std::string(ending_names[how]) + " from " + std::to_string(delay_ms) + " ms after the start",
                          watch);
        ASSERT_FALSE(HasFailure()) << "run " << n;
    }
    print_outcomes("start-up");
}

// Keys in bursts of dozens within a second while the world runs: every command is carried out in
// order, nothing crashes, and the world saved at the end has the population the keys asked for.
TEST_F(lifecycle, key_bursts_while_running)
{
    life_process p(program);
    sleep_ms(2000);
    ASSERT_TRUE(p.running()) << p.error_output();
    // Population changes (clamped to 2 .. 50), new worlds and new fields, colours, overlay, display.
    const std::vector<std::vector<std::string>> bursts = {
        {"F12", "KP_Subtract", "KP_Subtract", "minus", "F4", "F2", "F1", "F1", "F3", "F3", "KP_Subtract", "F12",
         "KP_Subtract", "minus", "F4", "F4", "F2", "KP_Add", "KP_Subtract", "minus", "F12", "F1", "F3", "F3",
         "KP_Subtract", "KP_Subtract", "minus", "minus", "F4", "F2"},
        {"KP_Add", "KP_Add", "KP_Add", "F12", "F4", "KP_Add", "F2", "F1", "F1", "KP_Add", "KP_Add", "F12", "F4",
         "KP_Add", "F3", "F3", "KP_Add", "KP_Subtract", "KP_Add", "F12", "F2", "KP_Add", "KP_Add", "F4", "F1",
         "F1", "KP_Add", "minus", "KP_Add", "F12"},
    };
    int population = 50;
    for (int round = 0; round < 6; round++) {
        const auto &burst = bursts[round % bursts.size()];
        std::vector<std::string> args = {"key", "--delay", "15"};
        args.insert(args.end(), burst.begin(), burst.end());
        xdotool(args);
        for (const std::string &k : burst) {
            if (k == "KP_Add" && population < population_max)
                population++;
            if ((k == "KP_Subtract" || k == "minus") && population > population_min)
                population--;
        }
        // One key per display pass: let the burst drain before the next, so none is dropped.
        sleep_ms(2500);
        ASSERT_TRUE(p.running()) << "the program ended during burst " << round << ": " << p.error_output();
    }
    xdotool({"key", "q"});
    ASSERT_TRUE(p.wait_exit(exit_timeout_ms));
    EXPECT_EQ(p.exit_code, 0) << p.error_output();
    const save_state s = inspect_save(save, dir.file("check.sav"));
    ASSERT_EQ(s.problem, "");
    EXPECT_EQ(s.population, population);
}

namespace {

// The desktops users have: every size, a window manager, two monitors, the pointer anywhere.
struct desktop_case {
    const char *name;
    x_desktop desktop;
    x_monitor picture; // where the picture must be: the largest 4:3 on the primary monitor, centred
};

desktop_case desktop_cases[] = {
    {"800x600", {800, 600, {}, -1, 130, 470, 0x00FF80, false}, {0, 0, 800, 600}},
    {"1024x768_openbox", {1024, 768, {}, -1, 1000, 20, 0x00FF80, true}, {0, 0, 1024, 768}},
    {"1920x1080_openbox", {1920, 1080, {}, -1, 1900, 1060, 0x00FF80, true}, {240, 0, 1440, 1080}},
    {"2560x1440", {2560, 1440, {}, -1, 5, 700, 0x00FF80, false}, {320, 0, 1920, 1440}},
    {"two_monitors", {3200, 1080, {{0, 28, 1280, 1024}, {1280, 0, 1920, 1080}}, 1, 640, 540, 0x00FF80, true},
     {1280 + 240, 0, 1440, 1080}},
};

void PrintTo(const desktop_case &c, std::ostream *os) { *os << c.name; }

struct desktop : ::testing::TestWithParam<desktop_case> {};

// Started with the pointer anywhere, the program stays until the user moves or types, covers the
// whole screen (the root colour shows nowhere), and shows the picture scaled on the primary monitor
// with black everywhere else; a key or a real movement ends it with the world saved.
TEST_P(desktop, it_stays_covers_the_screen_and_ends_only_for_the_user)
{
    const desktop_case &c = GetParam();
    x_server server(c.desktop);
    ASSERT_TRUE(server.ok()) << "Xvfb (and its monitors and window manager) did not start";
    scratch_folder dir;
    const std::string program = program_in(dir, "life"), save = dir.file("life.sav");
    const double scale = (double)c.picture.w / 800.0;
    // Starts per desktop; the pointer goes somewhere else every time: centre, corners, edges.
    const int starts = cycles >= 100 ? 20 : 2;
    const int xs[] = {50, 0, 100, 100, 0, 50, 100, 0, 3, 97};
    const int ys[] = {50, 0, 0, 100, 100, 0, 50, 50, 97, 3};
    for (int n = 0; n < starts; n++) {
        SCOPED_TRACE(std::string(c.name) + ", start " + std::to_string(n));
        const int px = std::min(c.desktop.width - 1, c.desktop.width * xs[n % 10] / 100);
        const int py = std::min(c.desktop.height - 1, c.desktop.height * ys[n % 10] / 100);
        xdotool({"mousemove", std::to_string(px), std::to_string(py)});
        const long started = now_ms();
        life_process p(program);
        screenshot shot;
        const uint32_t root = c.desktop.root_colour;
        const auto covered = [&] {
            shot = take_screenshot();
            return shot.width > 0 && std::count(shot.pixels.begin(), shot.pixels.end(), root) == 0;
        };
        ASSERT_TRUE(poll_until(covered, 15000)) << "the root window still shows: " << p.error_output();
        // Several seconds: long enough for any late event of its own start-up to have arrived.
        sleep_ms((int)std::max(0L, 4000 - (now_ms() - started)));
        ASSERT_TRUE(p.running()) << "it ended by itself: " << p.error_output();
        ASSERT_TRUE(poll_until([&] { return covered() && p.running(); }, 5000));
        ASSERT_EQ(shot.width, c.desktop.width);

        // Everything drawn lies inside the picture's place; food squares are 7 picture pixels wide.
        int left = shot.width, right = -1, top = shot.height, bottom = -1, widest_food = 0;
        for (int y = 0; y < shot.height; y++)
            for (int x = 0; x < shot.width; x++) {
                const uint32_t v = shot.at(x, y);
                if (v == 0)
                    continue;
                left = std::min(left, x), right = std::max(right, x);
                top = std::min(top, y), bottom = std::max(bottom, y);
                if (food_grey(v) && (x == 0 || shot.at(x - 1, y) != v)) {
                    int run = 1;
                    while (x + run < shot.width && shot.at(x + run, y) == v)
                        run++;
                    widest_food = std::max(widest_food, run);
                }
            }
        EXPECT_GE(left, c.picture.x);
        EXPECT_GE(top, c.picture.y);
        EXPECT_LT(right, c.picture.x + c.picture.w);
        EXPECT_LT(bottom, c.picture.y + c.picture.h);
        // Food sources and creatures spread over the field: the drawn area spans most of the place.
        EXPECT_GT(right - left, c.picture.w / 2);
        EXPECT_GT(bottom - top, c.picture.h / 2);
        EXPECT_GE(widest_food, (int)(7 * scale));
        EXPECT_LE(widest_food, (int)(7 * scale) + 1);

        // The user comes back: a key, or the mouse moved a little more than a jitter.
        if (n % 2 == 0)
            xdotool({"key", "x"});
        else
            xdotool({"mousemove_relative", "--", "-15", "12"});
        ASSERT_TRUE(p.wait_exit(exit_timeout_ms)) << "it did not end for the user";
        EXPECT_EQ(p.exit_code, 0) << p.error_output();
        const save_state s = inspect_save(save, dir.file("check.sav"));
        EXPECT_TRUE(s.exists);
        EXPECT_EQ(s.problem, "");
    }
}

INSTANTIATE_TEST_SUITE_P(real, desktop, ::testing::ValuesIn(desktop_cases),
                         [](const ::testing::TestParamInfo<desktop_case> &i) { return std::string(i.param.name); });

} // namespace
