// The Windows build under Wine: life.scr on a private Xvfb, its save files, and life-bench.exe against the native one.
#include "life_process.h"
#include "screenshot.h"
#include "x_server.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <filesystem>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace {

const uint32_t head_red = 0xFF0000;
const int start_timeout_ms = 60000; // Wine's first start in a fresh prefix is slow
const int exit_timeout_ms = 30000;
const size_t new_world_lines = 100156;

std::string windows_build()
{
    const char *dir = std::getenv("LIFE_WINDOWS_BUILD");
    return dir && *dir ? dir : "";
}

// What the screen shows: whole 7 x 7 grey food squares on the 8-pixel grid, and red heads.
struct look {
    int width = 0, height = 0, food = 0, heads = 0;
    bool world() const { return width == 800 && height == 600 && food >= 10 && heads >= 10; }
    std::string text() const
    {
        return std::to_string(width) + " x " + std::to_string(height) + ", " + std::to_string(food) +
               " food squares, " + std::to_string(heads) + " head pixels";
    }
};

look look_at(const screenshot &shot)
{
    look l;
    l.width = shot.width;
    l.height = shot.height;
    if (shot.width < 800 || shot.height < 600)
        return l;
    for (uint32_t p : shot.pixels)
        l.heads += p == head_red;
    l.food = food_squares(shot);
    return l;
}

// Waits until the world is on the screen; what was last seen goes into *seen.  The screen is only
// read once the program holds its world (`lock`), after its graphics mode is set: a screenshot
// taken while Wine switches the mode can leave the program's window never shown.
bool world_drawn(const std::string &lock, std::string *seen)
{
    *seen = "no " + lock;
    if (!poll_until([&] { return file_exists(lock); }, start_timeout_ms))
        return false;
    look last;
    const bool drawn = poll_until(
        [&] {
            last = look_at(take_screenshot());
            return last.world();
        },
        start_timeout_ms);
    *seen = last.text();
    return drawn;
}

long saved_time(const std::vector<std::string> &lines) { return lines.size() > 1 ? std::atol(lines[1].c_str()) : -1; }

// A complete world as the writer writes it: every line, LF line ends only.
void expect_complete_world(const std::string &path)
{
    const std::string bytes = read_bytes(path);
    EXPECT_EQ(read_lines(path).size(), new_world_lines) << path;
    EXPECT_EQ(bytes.find('\r'), std::string::npos) << path << " has CR line ends";
    EXPECT_TRUE(!bytes.empty() && bytes.back() == '\n') << path;
}

// The population line of a saved world: after the header and two lines a cell.
long saved_population(const std::vector<std::string> &lines)
{
    if (lines.size() < 5)
        return -1;
    const size_t at = 5 + 2 * (size_t)(std::atol(lines[3].c_str()) * std::atol(lines[4].c_str()));
    return at < lines.size() ? std::atol(lines[at].c_str()) : -1;
}

// What a shell command prints on its standard output.
std::string output_of(const std::string &command)
{
    std::string out;
    FILE *pipe = popen(command.c_str(), "r");
    char chunk[512];
    while (pipe && std::fgets(chunk, sizeof chunk, pipe))
        out += chunk;
    if (pipe)
        pclose(pipe);
    return out;
}

const char settings_key[] = "HKCU\\Software\\Life";

// The values the settings dialog keeps, as `wine reg query` lists them: name to number (REG_DWORD only).
std::map<std::string, long> stored_settings()
{
    std::map<std::string, long> values;
    std::istringstream listed(output_of(std::string("wine reg query '") + settings_key + "' 2>/dev/null"));
    std::string name, type, value;
    for (std::string line; std::getline(listed, line);) {
        std::istringstream words(line);
        if (words >> name >> type >> value && type == "REG_DWORD")
            values[name] = std::strtol(value.c_str(), nullptr, 0);
    }
    return values;
}

std::string text_of(const std::map<std::string, long> &values)
{
    std::string text;
    for (const auto &v : values)
        text += v.first + "=" + std::to_string(v.second) + " ";
    return text.empty() ? "nothing" : text;
}

void store_setting(const std::string &name, long value)
{
    EXPECT_EQ(run_tool({"wine", "reg", "add", settings_key, "/v", name, "/t", "REG_DWORD", "/d", std::to_string(value),
                        "/f"}),
              0)
        << name;
}

// The settings dialog's X window, once it is shown; empty if it is not within the start time-out.
std::string settings_window()
{
    std::string id;
    poll_until(
        [&] {
            id = output_of("xdotool search --name '^Life Settings$' 2>/dev/null");
            return !id.empty();
        },
        start_timeout_ms);
    return id.substr(0, id.find('\n'));
}

// True once the window manager has made `window` (decimal, as xdotool gives it) the active window and
// the X keyboard focus is on it: the window manager marks it active before Wine takes the focus, and keys
// sent in between go nowhere.
bool becomes_active(const std::string &window)
{
    const unsigned long id = std::strtoul(window.c_str(), nullptr, 10);
    return poll_until(
        [&] {
            const std::string line = output_of("xprop -root _NET_ACTIVE_WINDOW 2>/dev/null");
            const size_t hex = line.rfind("0x");
            return hex != std::string::npos && std::strtoul(line.c_str() + hex, nullptr, 16) == id &&
                   std::strtoul(output_of("xdotool getwindowfocus -f 2>/dev/null").c_str(), nullptr, 10) == id;
        },
        start_timeout_ms);
}

// An X property of a window as xprop prints it ("WM_TRANSIENT_FOR(WINDOW): window id # 0x..."), or "".
std::string window_property(const std::string &window, const std::string &property)
{
    const std::string line = output_of("xprop -id " + window + " " + property + " 2>/dev/null");
    return line.find("not found") == std::string::npos ? line : "";
}

struct wine_test : ::testing::Test {
    static x_server *server;
    scratch_folder dir;
    std::string scr;

    static void SetUpTestSuite()
    {
        // The build's own prefix, with no Mono or Gecko installer dialog to block a run.
        setenv("WINEPREFIX", (windows_build() + "/wine-prefix").c_str(), 1);
        setenv("WINEDLLOVERRIDES", "mscoree,mshtml=", 1);
        setenv("WINEDEBUG", "-all", 1);
        if (windows_build().empty())
            return;
        server = new x_server(); // 800 x 600: Wine offers DirectDraw only the screen's own size
    }
    static void TearDownTestSuite()
    {
        // Ends every process of this prefix (wineserver, the desktop) before its display goes.
        if (server)
            run_tool({"wineserver", "-k"});
        delete server;
        server = nullptr;
    }

    void SetUp() override
    {
        if (windows_build().empty())
            GTEST_SKIP() << "LIFE_WINDOWS_BUILD is not set: no Windows build to test";
        ASSERT_TRUE(server && server->ok());
        ASSERT_FALSE(dir.path.empty());
        scr = dir.file("life.scr");
        std::filesystem::copy_file(windows_build() + "/life.scr", scr);
        // A fresh session for each test (wineserver, services, the desktop), up before the first program
        // and kept ten seconds past the last: a screen saver started while the desktop still comes up,
        // or while an ended session goes down, can end up never shown.
        run_tool({"wineserver", "-k"});
        run_tool({"wineserver", "-p10"});
        run_tool({"wineboot"});
        forget_settings();
    }
    void TearDown() override
    {
        if (!server)
            return;
        forget_settings();
        run_tool({"wineserver", "-k"});
    }

    // A desktop whose window manager gives new windows the keyboard, as a dialog meets on a user's desk
    // (without one, keys go to whatever is under the pointer).  The session moves to it; the test ends
    // the session before the server goes.
    std::unique_ptr<x_server> desktop_with_window_manager()
    {
        run_tool({"wineserver", "-k"});
        x_desktop desk;
        desk.window_manager = true;
        auto own = std::make_unique<x_server>(desk);
        run_tool({"wineserver", "-p10"});
        run_tool({"wineboot"});
        return own;
    }

    // The prefix is the build's, shared by every test and by whoever runs life.scr by hand: a run starts
    // and ends with no settings stored.
    static void forget_settings() { output_of(std::string("wine reg delete '") + settings_key + "' /f 2>&1"); }

    // Starts the screen saver with `args`; its stderr goes to a file beside it.
    std::unique_ptr<life_process> start(const std::vector<std::string> &args, const std::string &log = "life.log")
    {
        std::vector<std::string> all{scr};
        all.insert(all.end(), args.begin(), args.end());
        return std::make_unique<life_process>("/usr/bin/wine", all, true, dir.file(log));
    }

    // Runs life.scr /s until it draws, then ends it with `stop`; returns the saved world's lines.
    std::vector<std::string> run_once(int run_ms = 1500)
    {
        // The lock file stays after a run; gone, it says when this run holds the world.
        std::filesystem::remove(dir.file("life.sav.lock"));
        auto p = start({"/s"});
        std::string seen;
        EXPECT_TRUE(world_drawn(dir.file("life.sav.lock"), &seen)) << "no world on the screen (" << seen << "): " << p->error_output();
        sleep_ms(run_ms);
        EXPECT_TRUE(p->running()) << p->error_output();
        EXPECT_EQ(run_tool({"xdotool", "key", "x"}), 0);
        EXPECT_TRUE(p->wait_exit(exit_timeout_ms)) << "a key did not end it";
        EXPECT_EQ(p->exit_code, 0) << p->error_output();
        return read_lines(dir.file("life.sav"));
    }

    // Another Windows program holding life.sav open, letting others only "read" it or only "delete" it,
    // until `release` is called; null when it could not be had.
    std::unique_ptr<life_process> hold_world(const std::string &share)
    {
        const std::string exe = dir.file("hold_file.exe");
        const std::vector<std::string> compile{"x86_64-w64-mingw32-gcc", "-O2", "-Wall", "-Wextra", "-o", exe,
                                               HOLD_FILE_SOURCE};
        if (!file_exists(exe) && run_tool(compile) != 0)
            return nullptr;
        std::filesystem::remove(dir.file("held"));
        std::filesystem::remove(dir.file("release"));
        // Wine takes Z: for the Unix root.
        const std::vector<std::string> args{exe, "Z:" + dir.file("life.sav"), share, "Z:" + dir.file("held"),
                                            "Z:" + dir.file("release")};
        auto holder = std::make_unique<life_process>("/usr/bin/wine", args, true, dir.file("hold.log"));
        if (!poll_until([&] { return file_exists(dir.file("held")); }, start_timeout_ms))
            return nullptr;
        return holder;
    }
    void release(life_process &holder)
    {
        write_bytes(dir.file("release"), "");
        EXPECT_TRUE(holder.wait_exit(exit_timeout_ms)) << "the holder did not let go";
    }
};
x_server *wine_test::server = nullptr;

TEST_F(wine_test, the_screen_saver_draws_the_world_a_key_saves_it_and_the_next_start_continues_it)
{
    const std::vector<std::string> first = run_once();
    expect_complete_world(dir.file("life.sav"));
    const long t1 = saved_time(first);
    EXPECT_GE(t1, 1);

    const std::vector<std::string> second = run_once(3000);
    expect_complete_world(dir.file("life.sav"));
    EXPECT_GT(saved_time(second), t1) << "the second run did not go on from the first";
}

TEST_F(wine_test, a_preview_without_a_window_returns_at_once_and_leaves_the_world_untouched)
{
    const std::string world = "2\n3\n1\nnot a world, left as it is\n";
    write_bytes(dir.file("life.sav"), world);
    // A preview of a window that does not exist is an error, as on X11.
    const std::vector<std::vector<std::string>> calls{{"/p"}, {"/p", "1234"}};
    for (const auto &args : calls) {
        const long started = now_ms();
        auto p = start(args);
        ASSERT_TRUE(p->wait_exit(exit_timeout_ms)) << args.size() << " arguments: did not return";
        EXPECT_EQ(p->exit_code, args.size() == 2 ? 1 : 0) << p->error_output();
        EXPECT_LT(now_ms() - started, 15000);
        EXPECT_EQ(read_bytes(dir.file("life.sav")), world);
        EXPECT_FALSE(file_exists(dir.file("life.sav.lock"))) << "the preview claimed the world";
    }
}

// "/c" alone (run by hand, or by a system that names no window): the dialog stands on its own, in the
// taskbar.  Chosen with the keyboard alone and confirmed with Enter, the settings go to the registry,
// nothing touches the world, and the next run takes them.
TEST_F(wine_test, the_settings_dialog_keeps_what_the_keyboard_chose_and_the_next_run_takes_it)
{
    ASSERT_EQ(run_tool({life_bench(), "--steps", "100", "--save", dir.file("life.sav")}), 0);
    const std::string world = read_bytes(dir.file("life.sav"));
    ASSERT_EQ(saved_population(read_lines(dir.file("life.sav"))), 50);

    auto desk = desktop_with_window_manager();
    ASSERT_TRUE(desk->ok());
    auto p = start({"/c"}, "configure.log");
    const std::string dialog = settings_window();
    ASSERT_FALSE(dialog.empty()) << "no settings dialog: " << p->error_output();
    ASSERT_TRUE(becomes_active(dialog)) << "the dialog did not come to the front with the keyboard";
    EXPECT_EQ(window_property(dialog, "WM_TRANSIENT_FOR"), "") << "a dialog with no owner has one";
    EXPECT_EQ(window_property(dialog, "_NET_WM_STATE").find("SKIP_TASKBAR"), std::string::npos)
        << "a dialog of its own is left out of the taskbar";
    // The population's first entry is the world's own, then 2, 3, ...: twenty is 19 down.
    EXPECT_EQ(run_tool({"xdotool", "key", "alt+p"}), 0);
    for (int n = 0; n < 19; n++)
        EXPECT_EQ(run_tool({"xdotool", "key", "Down"}), 0);
    // The speed limit's first entry is full speed, then 100,000 steps a second; the text is switched off.
    EXPECT_EQ(run_tool({"xdotool", "key", "alt+s", "Down", "alt+t"}), 0);
    sleep_ms(300);
    EXPECT_TRUE(p->running()) << "the dialog closed before Enter: " << p->error_output();
    EXPECT_EQ(run_tool({"xdotool", "key", "Return"}), 0);
    ASSERT_TRUE(p->wait_exit(exit_timeout_ms)) << "Enter did not close the dialog";
    EXPECT_EQ(p->exit_code, 0) << p->error_output();
    const std::map<std::string, long> want{{"MaxIps", 100000}, {"Population", 20}, {"ShowText", 0}};
    EXPECT_EQ(stored_settings(), want) << "stored: " << text_of(stored_settings());
    EXPECT_TRUE(read_bytes(dir.file("life.sav")) == world) << "the dialog wrote the world";
    EXPECT_FALSE(file_exists(dir.file("life.sav.lock"))) << "the dialog claimed the world";
    run_tool({"wineserver", "-k"});
    desk.reset();

    const std::vector<std::string> saved = run_once();
    ASSERT_GT(saved.size(), 5u) << "no world saved";
    EXPECT_EQ(saved_population(saved), 20) << "the run did not take the stored population";
    // Whole: the lines of a new world of 50, less those of 30 creatures.
    const size_t population_line = 5 + 2 * (size_t)(std::atol(saved[3].c_str()) * std::atol(saved[4].c_str()));
    const size_t creature_lines = (new_world_lines - population_line - 1) / 50;
    EXPECT_EQ(saved.size(), new_world_lines - 30 * creature_lines);
}

// From the Screen Saver settings ("/c:HWND") the dialog belongs to their window.  Escape after a change
// stores nothing; a stored speed limit the list does not offer survives an OK, and stored values out of
// range are not taken.  A number that names no window leaves the dialog on its own.
TEST_F(wine_test, the_settings_dialog_cancelled_stores_nothing_and_keeps_what_it_does_not_offer)
{
    store_setting("Population", 77);
    store_setting("MaxIps", 500);
    store_setting("ShowText", 1);
    const std::map<std::string, long> before = stored_settings();
    ASSERT_EQ(before.size(), 3u) << text_of(before);

    auto desk = desktop_with_window_manager();
    ASSERT_TRUE(desk->ok());
    const std::string exe = dir.file("preview_host.exe");
    ASSERT_EQ(run_tool({"x86_64-w64-mingw32-gcc", "-O2", "-Wall", "-Wextra", "-o", exe, PREVIEW_HOST_SOURCE}), 0);
    life_process host("/usr/bin/wine", {exe, "Z:" + dir.file("handle"), "Z:" + dir.file("children"),
                                        "Z:" + dir.file("close")},
                      true, dir.file("host.log"));
    ASSERT_TRUE(poll_until([&] { return !read_lines(dir.file("handle")).empty(); }, start_timeout_ms));
    const std::string handle = read_lines(dir.file("handle"))[0];
    std::string host_window;
    poll_until(
        [&] {
            host_window = output_of("xdotool search --name '^preview$' 2>/dev/null");
            return !host_window.empty();
        },
        start_timeout_ms);
    ASSERT_FALSE(host_window.empty()) << "the owner's window is not on the X screen";

    auto p = start({"/c:" + handle}, "configure.log");
    const std::string dialog = settings_window();
    ASSERT_FALSE(dialog.empty()) << "no settings dialog: " << p->error_output();
    ASSERT_TRUE(becomes_active(dialog)) << "the dialog did not come to the front with the keyboard";
    const std::string owner = window_property(dialog, "WM_TRANSIENT_FOR");
    char hex[32];
    std::snprintf(hex, sizeof hex, "0x%lx", std::strtoul(host_window.c_str(), nullptr, 10));
    EXPECT_NE(owner.find(hex), std::string::npos) << "not owned by " << hex << ": \"" << owner << "\"";
    EXPECT_NE(window_property(dialog, "_NET_WM_STATE").find("SKIP_TASKBAR"), std::string::npos)
        << "an owned dialog has a taskbar button of its own";
    EXPECT_EQ(run_tool({"xdotool", "key", "alt+p", "Down", "Down", "alt+s", "Home", "alt+t"}), 0);
    sleep_ms(300);
    EXPECT_EQ(run_tool({"xdotool", "key", "Escape"}), 0);
    ASSERT_TRUE(p->wait_exit(exit_timeout_ms)) << "Escape did not close the dialog";
    EXPECT_EQ(p->exit_code, 0) << p->error_output();
    EXPECT_EQ(stored_settings(), before) << "Cancel stored: " << text_of(stored_settings());
    write_bytes(dir.file("close"), "");
    EXPECT_TRUE(host.wait_exit(exit_timeout_ms));

    auto alone = start({"/c:1234"}, "alone.log");
    const std::string dialog_alone = settings_window();
    ASSERT_FALSE(dialog_alone.empty()) << "no settings dialog for a number that names no window: "
                                       << alone->error_output();
    ASSERT_TRUE(becomes_active(dialog_alone)) << "the dialog did not come to the front with the keyboard";
    EXPECT_EQ(window_property(dialog_alone, "WM_TRANSIENT_FOR"), "");
    EXPECT_EQ(run_tool({"xdotool", "key", "Return"}), 0);
    ASSERT_TRUE(alone->wait_exit(exit_timeout_ms)) << "Enter did not close the dialog";
    EXPECT_EQ(alone->exit_code, 0) << alone->error_output();
    // 500 stays as it was; 77 was never read, so the world's own (0) is what the dialog showed and stored.
    const std::map<std::string, long> after{{"MaxIps", 500}, {"Population", 0}, {"ShowText", 1}};
    EXPECT_EQ(stored_settings(), after) << "stored: " << text_of(stored_settings());
    run_tool({"wineserver", "-k"});
}

// The Screen Saver settings' preview: "/p HWND" makes a child window of the given one at its size and shows
// the world there, writing nothing and locking nothing, and ends within a second or two of the window going
// away.  Under Wine drawing across processes does not reach the screen, so the structure is what is tested.
TEST_F(wine_test, the_preview_lives_in_the_given_window_writes_nothing_and_ends_with_it)
{
    const std::string exe = dir.file("preview_host.exe");
    ASSERT_EQ(run_tool({"x86_64-w64-mingw32-gcc", "-O2", "-Wall", "-Wextra", "-o", exe, PREVIEW_HOST_SOURCE}), 0);
    ASSERT_EQ(run_tool({life_bench(), "--steps", "100", "--save", dir.file("life.sav")}), 0);
    const std::string world = read_bytes(dir.file("life.sav"));
    life_process host("/usr/bin/wine", {exe, "Z:" + dir.file("handle"), "Z:" + dir.file("children"),
                                        "Z:" + dir.file("close")},
                      true, dir.file("host.log"));
    ASSERT_TRUE(poll_until([&] { return !read_lines(dir.file("handle")).empty(); }, start_timeout_ms));
    const std::string handle = read_lines(dir.file("handle"))[0];
    auto p = start({"/p", handle}, "preview.log");
    EXPECT_TRUE(poll_until([&] { return read_bytes(dir.file("children")) == "152 112\n"; }, start_timeout_ms))
        << "no child window of the preview's size: \"" << read_bytes(dir.file("children")) << "\": "
        << p->error_output();
    sleep_ms(1500);
    EXPECT_TRUE(p->running()) << p->error_output();
    // Wine's DestroyWindow waits two seconds on the other process's child window; the preview's end is
    // counted from the moment the window is gone.
    write_bytes(dir.file("close"), "");
    ASSERT_TRUE(poll_until([&] { return read_bytes(dir.file("children")) == "gone\n"; }, exit_timeout_ms));
    const long gone = now_ms();
    EXPECT_TRUE(p->wait_exit(exit_timeout_ms)) << "the preview outlived its window";
    EXPECT_LT(now_ms() - gone, 1000) << "the preview took long to end";
    EXPECT_EQ(p->exit_code, 0) << p->error_output();
    EXPECT_TRUE(host.wait_exit(exit_timeout_ms));
    EXPECT_TRUE(read_bytes(dir.file("life.sav")) == world) << "the preview wrote the world";
    for (const std::string &name : {std::string("life.sav.lock"), std::string("life.sav.prev")})
        EXPECT_FALSE(file_exists(dir.file(name))) << "the preview made " << name;
}

TEST_F(wine_test, the_end_of_the_session_saves_the_world)
{
    auto p = start({"/s"});
    std::string seen;
    ASSERT_TRUE(world_drawn(dir.file("life.sav.lock"), &seen)) << "no world on the screen (" << seen << "): " << p->error_output();
    sleep_ms(2000);
    ASSERT_TRUE(p->running()) << p->error_output();
    // The user logs off: Windows sends WM_QUERYENDSESSION and WM_ENDSESSION to every program.
    EXPECT_EQ(run_tool({"timeout", "60", "wineboot", "--end-session"}), 0);
    EXPECT_TRUE(p->wait_exit(exit_timeout_ms));
    expect_complete_world(dir.file("life.sav"));
    EXPECT_GE(saved_time(read_lines(dir.file("life.sav"))), 1);
}

// Two copies at once (Windows starts one screen saver, a user may start another): neither freezes the other,
// one key ends every copy still running within two seconds, and every world a copy took is whole.  Under
// Wine the second copy's full screen waits while the first holds the screen, so it may never reach a world
// of its own; and the pointer it centres counts as input in Wine, which may end the first copy at once.
TEST_F(wine_test, a_second_copy_freezes_neither_and_one_key_ends_both)
{
    auto first = start({"/s"}, "first.log");
    std::string seen;
    ASSERT_TRUE(world_drawn(dir.file("life.sav.lock"), &seen)) << "no world on the screen (" << seen << "): " << first->error_output();
    auto second = start({"/s"}, "second.log");
    sleep_ms(4000);
    EXPECT_TRUE(first->running() || second->running()) << "both ended before any input";
    EXPECT_EQ(run_tool({"xdotool", "key", "x"}), 0);
    EXPECT_TRUE(first->wait_exit(2000)) << "the first copy stayed: " << first->error_output();
    EXPECT_TRUE(second->wait_exit(2000)) << "the second copy stayed: " << second->error_output();
    EXPECT_EQ(first->exit_code, 0) << first->error_output();
    EXPECT_EQ(second->exit_code, 0) << second->error_output();
    expect_complete_world(dir.file("life.sav"));
    if (file_exists(dir.file("life-2.sav")))
        expect_complete_world(dir.file("life-2.sav"));
}

TEST_F(wine_test, a_busy_file_under_wine_is_neither_refused_nor_saved_over_and_the_next_run_goes_on_from_it)
{
    long t = saved_time(run_once());
    ASSERT_GE(t, 1);
    // As a backup or sync tool holds it: with no read sharing the world cannot be read at all; with read
    // sharing only it loads, but the save cannot replace it.
    for (const std::string share : {"delete", "read"}) {
        const std::string world = read_bytes(dir.file("life.sav"));
        auto holder = hold_world(share);
        ASSERT_TRUE(holder) << share << ": no program holds the world";
        std::filesystem::remove(dir.file("life.sav.lock"));
        auto p = start({"/s"}, share + ".log");
        std::string seen;
        EXPECT_TRUE(world_drawn(dir.file("life.sav.lock"), &seen))
            << share << ": no world on the screen (" << seen << "): " << p->error_output();
        sleep_ms(1500);
        EXPECT_EQ(run_tool({"xdotool", "key", "x"}), 0);
        EXPECT_TRUE(p->wait_exit(exit_timeout_ms)) << "a key did not end it";
        const std::string said = p->error_output();
        EXPECT_EQ(p->exit_code, 1) << share << ": " << said;
        // Unreadable, it is left alone with the reason said; readable, it loads and only the save fails.
        const bool readable = share == "read";
        EXPECT_NE(said.find(readable ? "untouched" : "cannot be read"), std::string::npos) << share << ": " << said;
        EXPECT_FALSE(readable && said.find("cannot be read") != std::string::npos) << said;
        EXPECT_EQ(said.find("read-only"), std::string::npos) << share << ": " << said;
        EXPECT_TRUE(read_bytes(dir.file("life.sav")) == world) << share << ": the held world file changed";
        EXPECT_FALSE(file_exists(dir.file("life.sav.bad"))) << share << ": the held world was moved aside";
        release(*holder);

        const long next = saved_time(run_once(3000));
        EXPECT_GT(next, t) << share << ": the run after the release did not go on from the held world";
        t = next;
    }
}

// life-bench under Wine and natively: the same scenario writes the same bytes on both systems.
TEST_F(wine_test, life_bench_under_wine_and_natively_write_identical_worlds)
{
    const std::string exe = dir.file("life-bench.exe");
    std::filesystem::copy_file(windows_build() + "/life-bench.exe", exe);
    auto run_both = [&](const std::vector<std::string> &args, const std::string &name) {
        std::vector<std::string> native{life_bench()}, wine{"/usr/bin/wine", exe};
        native.insert(native.end(), args.begin(), args.end());
        wine.insert(wine.end(), args.begin(), args.end());
        native.insert(native.end(), {"--save", dir.file(name + ".linux.sav")});
        wine.insert(wine.end(), {"--save", dir.file(name + ".windows.sav")});
        EXPECT_EQ(run_tool(native), 0) << name;
        EXPECT_EQ(run_tool(wine), 0) << name;
        const std::string a = read_bytes(dir.file(name + ".linux.sav")), b = read_bytes(dir.file(name + ".windows.sav"));
        EXPECT_FALSE(a.empty()) << name;
        EXPECT_EQ(a.find('\r'), std::string::npos) << name;
        EXPECT_TRUE(a == b) << name << ": the two systems wrote different worlds";
    };
    run_both({"--population", "50", "--steps", "20000", "--event-every", "500"}, "p50");
    run_both({"--population", "7", "--steps", "20000", "--event-every", "2000"}, "p7");

    // Each loads the file the other system wrote, and a copy of it with CRLF line ends.
    std::string crlf;
    for (char c : read_bytes(dir.file("p50.windows.sav"))) {
        if (c == '\n')
            crlf += '\r';
        crlf += c;
    }
    write_bytes(dir.file("p50.crlf.sav"), crlf);
    std::vector<std::string> load_windows{"/usr/bin/wine", exe, "--load", dir.file("p50.linux.sav")};
    std::vector<std::string> load_linux{life_bench(), "--load", dir.file("p50.windows.sav")};
    std::vector<std::string> load_crlf_windows{"/usr/bin/wine", exe, "--load", dir.file("p50.crlf.sav")};
    std::vector<std::string> load_crlf_linux{life_bench(), "--load", dir.file("p50.crlf.sav")};
    const std::vector<std::string> more{"--steps", "10000", "--event-every", "2000", "--save"};
    const std::vector<std::pair<std::vector<std::string> *, std::string>> loads{
        {&load_windows, "loaded.windows.sav"},
        {&load_linux, "loaded.linux.sav"},
        {&load_crlf_windows, "crlf.windows.sav"},
        {&load_crlf_linux, "crlf.linux.sav"}};
    for (const auto &l : loads) {
        l.first->insert(l.first->end(), more.begin(), more.end());
        l.first->push_back(dir.file(l.second));
        EXPECT_EQ(run_tool(*l.first), 0) << l.second;
    }
    const std::string reference = read_bytes(dir.file("loaded.linux.sav"));
    EXPECT_FALSE(reference.empty());
    for (const auto &l : loads)
        EXPECT_TRUE(read_bytes(dir.file(l.second)) == reference) << l.second << " differs";
}

// What ends a screen saver: a key, or the mouse moved 11 pixels in any direction, each within two
// seconds with the world saved, at every size a desktop may have, on a machine with a core kept busy
// too.  The program reads the desktop's own size: each size is a display of its own.
TEST_F(wine_test, a_key_or_a_small_move_ends_it_at_every_desktop_size)
{
    struct desk_case {
        int w, h;
        bool busy;
    };
    const desk_case desks[] = {{800, 600, false}, {1024, 768, false}, {1920, 1080, false}, {1920, 1080, true}};
    const int key_starts = 20, starts_per_direction = 5;
    const std::vector<std::string> moves[] = {{"11", "0"}, {"-11", "0"}, {"0", "11"}, {"0", "-11"}};
    for (const desk_case &d : desks) {
        const std::string where = std::to_string(d.w) + " x " + std::to_string(d.h) + (d.busy ? ", a core busy" : "");
        std::unique_ptr<x_server> own;
        if (d.w != 800) {
            // A session belongs to one display: the old one ends before the new display comes.
            run_tool({"wineserver", "-k"});
            x_desktop desk;
            desk.width = d.w;
            desk.height = d.h;
            own = std::make_unique<x_server>(desk);
            ASSERT_TRUE(own->ok()) << where;
            run_tool({"wineserver", "-p10"});
            run_tool({"wineboot"});
        }
        std::unique_ptr<life_process> spinner;
        if (d.busy)
            spinner = std::make_unique<life_process>("/bin/sh", std::vector<std::string>{"-c", "while :; do :; done"},
                                                     false, dir.file("spin.log"));
        // One start, ended by `input` (xdotool's arguments): how long the end took, or why it went wrong.
        std::vector<std::string> failures;
        long slowest = 0;
        auto end_by = [&](const std::vector<std::string> &input, const std::string &what) {
            std::filesystem::remove(dir.file("life.sav.lock"));
            auto p = start({"/s"});
            if (!poll_until([&] { return file_exists(dir.file("life.sav.lock")); }, start_timeout_ms))
                return failures.push_back(what + ": no start: " + p->error_output());
            sleep_ms(1500);
            if (!p->running())
                return failures.push_back(what + ": ended before the input: " + p->error_output());
            std::vector<std::string> tool{"xdotool"};
            tool.insert(tool.end(), input.begin(), input.end());
            const long sent = now_ms();
            run_tool(tool);
            const bool ended = p->wait_exit(2000);
            const long took = now_ms() - sent;
            if (!ended) {
                failures.push_back(what + ": still running 2 s after the input");
                run_tool({"xdotool", "key", "q"}); // let it go, or close it, before the next start
                if (!p->wait_exit(exit_timeout_ms))
                    run_tool({"wineserver", "-k"});
                return;
            }
            if (p->exit_code != 0)
                return failures.push_back(what + ": exit " + std::to_string(p->exit_code) + ": " + p->error_output());
            slowest = std::max(slowest, took);
        };
        for (int n = 0; n < key_starts; n++)
            end_by({"key", "q"}, "q");
        for (const auto &move : moves)
            for (int n = 0; n < starts_per_direction; n++)
                end_by({"mousemove_relative", "--", move[0], move[1]}, "a move of (" + move[0] + ", " + move[1] + ")");
        for (const std::string &f : failures)
            ADD_FAILURE() << where << ", " << f;
        expect_complete_world(dir.file("life.sav"));
        std::cout << where << ": the starts that ended did so within " << slowest << " ms\n";
        spinner.reset();
        if (own)
            run_tool({"wineserver", "-k"});
    }
}

// On a desktop of two monitors the picture goes on the main one and the other is covered by a black window
// of its own.  Wine shows one monitor, so the program is told of two (LIFE_MONITORS).
TEST_F(wine_test, other_monitors_are_covered_black)
{
    run_tool({"wineserver", "-k"});
    x_desktop desk;
    desk.width = 1600;
    desk.height = 600;
    x_server two(desk);
    ASSERT_TRUE(two.ok());
    run_tool({"wineserver", "-p10"});
    run_tool({"wineboot"});
    setenv("LIFE_MONITORS", "0,0,800,600;800,0,800,600", 1);
    auto p = start({"/s"});
    unsetenv("LIFE_MONITORS");
    ASSERT_TRUE(poll_until([&] { return file_exists(dir.file("life.sav.lock")); }, start_timeout_ms)) << p->error_output();
    screenshot shot;
    const bool shown = poll_until(
        [&] {
            shot = take_screenshot();
            return shot.width == 1600 && food_squares(shot) >= 10;
        },
        start_timeout_ms);
    EXPECT_TRUE(shown) << "no world, pixel for pixel, on the main monitor";
    long lit = 0;
    for (int y = 0; y < 600 && shot.width == 1600; y++)
        for (int x = 800; x < 1600; x++)
            lit += shot.at(x, y) != 0;
    EXPECT_EQ(lit, 0) << "the other monitor is not all black";
    // The black is a window of its own at the other monitor's place, not only the cleared screen.
    FILE *tree = popen("xwininfo -root -tree", "r");
    std::string windows;
    char line[512];
    while (tree && std::fgets(line, sizeof line, tree))
        windows += line;
    if (tree)
        pclose(tree);
    EXPECT_NE(windows.find("800x600+800+0"), std::string::npos) << windows;
    EXPECT_EQ(run_tool({"xdotool", "key", "q"}), 0);
    EXPECT_TRUE(p->wait_exit(exit_timeout_ms));
    EXPECT_EQ(p->exit_code, 0) << p->error_output();
    run_tool({"wineserver", "-k"});
}

} // namespace
