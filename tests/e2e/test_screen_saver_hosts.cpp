// The program as an XScreenSaver hack: run by the real host on Xvfb, previewed in another client's window, and its presenter timed.
#include "life_process.h"
#include "platform.h"
#include "screenshot.h"
#include "x_server.h"

#include <gtest/gtest.h>

// After GoogleTest: X's macro None would clash with its internal type of that name.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <filesystem>
#include <map>

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const uint32_t head_red = 0xFF0000;
const int lines_per_creature = (int)save_file_creature_lines();

// A save file is whole when it has every line its own counts call for.
bool whole_world(const std::string &path)
{
    const std::vector<std::string> l = read_lines(path);
    if (l.size() < 6)
        return false;
    const long cells = std::atol(l[3].c_str()) * std::atol(l[4].c_str());
    if ((size_t)(5 + 2 * cells) >= l.size())
        return false;
    const long population = std::atol(l[(size_t)(5 + 2 * cells)].c_str());
    return l.size() == (size_t)(5 + 2 * cells + 1 + population * lines_per_creature);
}

// Processes whose program is `path` (the host's hacks, whoever runs them).
int processes_running(const std::string &path)
{
    int n = 0;
    DIR *proc = opendir("/proc");
    if (!proc)
        return -1;
    while (dirent *e = readdir(proc)) {
        if (e->d_name[0] < '0' || e->d_name[0] > '9')
            continue;
        const std::string cmdline = read_bytes(std::string("/proc/") + e->d_name + "/cmdline");
        n += cmdline.compare(0, path.size() + 1, path + '\0') == 0;
    }
    closedir(proc);
    return n;
}

// Every file under `folder` with its contents; what a run that writes nothing leaves exactly as it was.
std::map<std::string, std::string> contents(const std::string &folder)
{
    std::map<std::string, std::string> out;
    std::error_code ec;
    for (auto it = std::filesystem::recursive_directory_iterator(folder, ec);
         it != std::filesystem::recursive_directory_iterator(); it.increment(ec))
        out[it->path().string()] = it->is_regular_file() ? read_bytes(it->path().string()) : "<folder>";
    return out;
}

// One command of the host's, as the user who runs it; true when it succeeded.
bool host_command(const std::string &home, const std::string &what, const scratch_folder &dir)
{
    life_process c("/usr/bin/xscreensaver-command", {what}, true, dir.file("command.stderr"), home);
    return c.wait_exit(10000) && c.exit_code == 0;
}

// The program as a user finds it installed: in a folder it cannot write; and that user's
// (nobody's) home.  Empty strings when either could not be made.
struct nobody_install {
    std::string folder, home;
    bool ok() const { return !folder.empty() && !home.empty(); }
};
nobody_install install_for_nobody(scratch_folder &dir) { return {read_only_program_folder(dir, "life"), nobody_home(dir)}; }

// A desktop of that size and nothing more.
x_desktop sized(int width, int height)
{
    x_desktop desk;
    desk.width = width;
    desk.height = height;
    return desk;
}

// A desktop on an Xvfb of its own, with the program installed for nobody as above.
struct host_desk {
    x_server server;
    scratch_folder dir;
    nobody_install installed;
    explicit host_desk(const x_desktop &desk) : server(desk), installed(install_for_nobody(dir)) {}
    bool ok() const { return server.ok() && installed.ok(); }
};

// XScreenSaver's settings as a user writes them: one program, no fading, locking or splash, never
// on its own (the test activates it).
void write_host_settings(const std::string &home, const std::string &program)
{
    write_bytes(home + "/.xscreensaver", "mode:\t\tone\n"
                                        "selected:\t0\n"
                                        "timeout:\t1:00:00\n"
                                        "cycle:\t\t0\n"
                                        "lock:\t\tFalse\n"
                                        "fade:\t\tFalse\n"
                                        "unfade:\t\tFalse\n"
                                        "splash:\t\tFalse\n"
                                        "dpmsEnabled:\tFalse\n"
                                        "programs:\t" +
                                            program + " --root \\n\n");
    ASSERT_EQ(chown((home + "/.xscreensaver").c_str(), nobody_uid, nobody_gid), 0);
}

TEST(screen_saver_host, xscreensaver_runs_a_copy_per_monitor_in_its_windows_and_its_sigterm_saves_each_world)
{
    x_desktop desk = sized(1600, 600);
    desk.monitors = {{0, 0, 800, 600}, {800, 0, 800, 600}};
    desk.primary = 0;
    host_desk h(desk);
    ASSERT_TRUE(h.ok());
    scratch_folder &dir = h.dir;
    const std::string &folder = h.installed.folder, &home = h.installed.home;
    const std::string program = folder + "/life";
    write_host_settings(home, program);

    life_process host("/usr/bin/xscreensaver", {"-no-splash"}, true, dir.file("host.stderr"), home);
    ASSERT_TRUE(poll_until([&] { return host_command(home, "-activate", dir); }, 15000)) << host.error_output();

    // Each monitor shows a whole world of its own, scaled from 800 x 600: no root colour left anywhere.
    screenshot shot;
    std::string seen;
    const bool shown = poll_until(
        [&] {
            shot = take_screenshot();
            if (shot.width != 1600)
                return false;
            long heads[2] = {0, 0}, root = 0, food[2] = {0, 0};
            for (int y = 0; y < shot.height; y++)
                for (int x = 0; x < shot.width; x++) {
                    const uint32_t p = shot.at(x, y);
                    root += p == desk.root_colour;
                    heads[x / 800] += p == head_red;
                    food[x / 800] += food_grey(p);
                }
            seen = "root colour " + std::to_string(root) + ", heads " + std::to_string(heads[0]) + " and " +
                   std::to_string(heads[1]) + ", food " + std::to_string(food[0]) + " and " + std::to_string(food[1]);
            return root == 0 && heads[0] > 0 && heads[1] > 0 && food[0] > 1000 && food[1] > 1000;
        },
        20000);
    EXPECT_TRUE(shown) << seen << "\n" << host.error_output();
    EXPECT_EQ(processes_running(program), 2);

    // The user comes back: the host ends each copy with SIGTERM and destroys its window; both worlds are saved.
    ASSERT_TRUE(host_command(home, "-deactivate", dir));
    const std::string data = home + "/.local/share/life/";
    EXPECT_TRUE(poll_until([&] { return processes_running(program) == 0; }, 10000));
    EXPECT_TRUE(whole_world(data + "life.sav"));
    EXPECT_TRUE(whole_world(data + "life-2.sav"));
    struct stat st;
    ASSERT_EQ(stat((data + "life.sav").c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, (uid_t)nobody_uid);
    host_command(home, "-exit", dir);
    EXPECT_TRUE(host.wait_exit(10000));
}

// The top-level window of the client named `name`, or 0.
Window window_named(const char *name)
{
    Display *d = XOpenDisplay(nullptr);
    if (!d)
        return 0;
    Window root_back, parent, *children = nullptr, found = 0;
    unsigned count = 0;
    if (XQueryTree(d, DefaultRootWindow(d), &root_back, &parent, &children, &count)) {
        for (unsigned k = 0; k < count && !found; k++) {
            char *title = nullptr;
            if (XFetchName(d, children[k], &title) && title) {
                if (std::string(title) == name)
                    found = children[k];
                XFree(title);
            }
        }
        XFree(children);
    }
    XCloseDisplay(d);
    return found;
}

int border_of(Window w)
{
    Display *d = XOpenDisplay(nullptr);
    XWindowAttributes a = {};
    const bool ok = d && XGetWindowAttributes(d, w, &a);
    if (d)
        XCloseDisplay(d);
    return ok ? a.border_width : 0;
}

TEST(screen_saver_host, a_preview_draws_only_into_the_given_window_and_writes_nothing_and_a_hack_follows_that_window_to_its_end)
{
    const x_desktop desk = sized(1024, 768);
    host_desk h(desk);
    ASSERT_TRUE(h.ok());
    scratch_folder &dir = h.dir;
    const std::string &folder = h.installed.folder, &home = h.installed.home;
    // One home holds a world (a lock file from an earlier run beside it), the other has never run the program.
    const std::string data = home + "/.local/share/life";
    std::filesystem::create_directories(data);
    ASSERT_EQ(run_tool({life_bench(), "--steps", "200", "--save", data + "/life.sav"}), 0);
    // Saved with its display off (F3): a host's window shows the picture all the same.
    std::vector<std::string> lines = split_lines(read_bytes(data + "/life.sav"));
    ASSERT_EQ(lines[2], "1");
    lines[2] = "0";
    std::string dark;
    for (const std::string &line : lines)
        dark += line + "\n";
    write_bytes(data + "/life.sav", dark);
    write_bytes(data + "/life.sav.lock", "");
    ASSERT_EQ(run_tool({"chown", "-R", "nobody:nogroup", home + "/.local"}), 0);
    const auto before = contents(home);
    const std::string empty_home = dir.file("empty-home");
    std::filesystem::create_directory(empty_home);
    ASSERT_EQ(chown(empty_home.c_str(), nobody_uid, nobody_gid), 0);

    life_process clock("/usr/bin/xclock", {"-geometry", "300x200+50+50"}, true, dir.file("xclock.stderr"));
    Window w = 0;
    ASSERT_TRUE(poll_until([&] { return (w = window_named("xclock")) != 0; }, 10000));
    // Its 300 x 200 inside starts after its border; the border stays the clock's.
    const int left = 50 + border_of(w), top = 50 + border_of(w);
    char id[32];
    std::snprintf(id, sizeof id, "0x%lx", (unsigned long)w);

    for (const std::string &user_home : {home, empty_home}) {
        // The settings dialog's command: the --root line with the preview's window appended.
        life_process p(folder + "/life", {"--root", "-window-id", id}, true, dir.file("preview.stderr"), user_home);
        // 800 x 600 scaled into 300 x 200: 266 x 200 at x = 17 of the window, black bands beside it.
        screenshot shot;
        std::string seen;
        const bool shown = poll_until(
            [&] {
                shot = take_screenshot();
                if (shot.width != desk.width)
                    return false;
                long inside = 0, outside = 0, bands = 0;
                for (int y = 0; y < shot.height; y++)
                    for (int x = 0; x < shot.width; x++) {
                        const uint32_t p = shot.at(x, y);
                        const bool in = x >= left && x < left + 300 && y >= top && y < top + 200;
                        const bool border = !in && x >= 50 && x < left + 300 + (left - 50) && y >= 50 &&
                                            y < top + 200 + (top - 50);
                        const bool band = in && (x < left + 17 || x >= left + 17 + 266);
                        if (!in && !border)
                            outside += p != desk.root_colour;
                        else if (band)
                            bands += p != 0;
                        else
                            inside += food_grey(p);
                    }
                seen = "outside " + std::to_string(outside) + ", bands " + std::to_string(bands) + ", inside " +
                       std::to_string(inside);
                return outside == 0 && bands == 0 && inside > 200;
            },
            15000);
        EXPECT_TRUE(shown) << seen << "\n" << p.error_output();
        EXPECT_TRUE(p.running());
        p.signal(SIGTERM);
        ASSERT_TRUE(p.wait_exit(10000));
        EXPECT_EQ(p.exit_code, 0) << p.error_output();
    }
    EXPECT_EQ(contents(home), before);
    EXPECT_TRUE(std::filesystem::is_empty(empty_home));

    // The same window as a host's (--root), on the world saved dark: it shows, follows the window's
    // new size, and the window's end is a stop like SIGTERM with the world saved, still dark for the
    // next run on the program's own screen.
    const std::string empty_data = empty_home + "/.local/share/life";
    std::filesystem::create_directories(empty_data);
    write_bytes(empty_data + "/life.sav", dark);
    ASSERT_EQ(run_tool({"chown", "-R", "nobody:nogroup", empty_home + "/.local"}), 0);
    setenv("XSCREENSAVER_WINDOW", id, 1);
    life_process hack(folder + "/life", {"--root"}, true, dir.file("hack.stderr"), empty_home);
    unsetenv("XSCREENSAVER_WINDOW");
    ASSERT_EQ(run_tool({"xdotool", "windowsize", id, "400", "300"}), 0);
    long grown = 0;
    EXPECT_TRUE(poll_until(
        [&] {
            const screenshot shot = take_screenshot();
            grown = 0;
            for (int y = top; y < top + 300 && shot.width > 0; y++)
                for (int x = left + 300; x < left + 400; x++)
                    grown += food_grey(shot.at(x, y));
            return grown > 100;
        },
        15000))
        << "food pixels in the grown part: " << grown << "\n" << hack.error_output();
    EXPECT_TRUE(hack.running());
    sleep_ms(500);
    clock.signal(SIGTERM);
    ASSERT_TRUE(hack.wait_exit(10000));
    EXPECT_EQ(hack.exit_code, 0) << hack.error_output();
    EXPECT_NE(hack.error_output().find("window"), std::string::npos) << hack.error_output();
    EXPECT_TRUE(whole_world(empty_data + "/life.sav"));
    EXPECT_EQ(split_lines(read_bytes(empty_data + "/life.sav"))[2], "0");
}

// A top-level window on the screen: its title, the window it is a dialog of, and where it is.
struct top_window {
    Window id = 0, dialog_of = 0;
    std::string name;
    int x = 0, y = 0, w = 0, h = 0;
    std::string xid() const { return std::to_string((unsigned long)id); }
};

// A window may go between the query and the look at it; Xlib's default handler would end the test.
int ignore_x_errors(Display *, XErrorEvent *) { return 0; }

std::vector<top_window> viewable_windows()
{
    std::vector<top_window> out;
    Display *d = XOpenDisplay(nullptr);
    if (!d)
        return out;
    const auto previous = XSetErrorHandler(ignore_x_errors);
    Window root_back, parent, *children = nullptr;
    unsigned count = 0;
    if (XQueryTree(d, DefaultRootWindow(d), &root_back, &parent, &children, &count)) {
        for (unsigned k = 0; k < count; k++) {
            XWindowAttributes a = {};
            if (!XGetWindowAttributes(d, children[k], &a) || a.map_state != IsViewable)
                continue;
            top_window t;
            t.id = children[k];
            t.x = a.x;
            t.y = a.y;
            t.w = a.width;
            t.h = a.height;
            char *title = nullptr;
            if (XFetchName(d, children[k], &title) && title) {
                t.name = title;
                XFree(title);
            }
            XGetTransientForHint(d, children[k], &t.dialog_of);
            out.push_back(t);
        }
        XFree(children);
    }
    XSync(d, False);
    XSetErrorHandler(previous);
    XCloseDisplay(d);
    return out;
}

// Pixels of the window's rectangle unlike its most common colour (its background): what it draws on it.
long ink(const screenshot &shot, const top_window &w)
{
    std::map<uint32_t, long> colours;
    for (int y = w.y; y < w.y + w.h; y++)
        for (int x = w.x; x < w.x + w.w; x++)
            colours[shot.at(x, y)]++;
    long most = 0, all = 0;
    for (const auto &c : colours) {
        most = std::max(most, c.second);
        all += c.second;
    }
    return all - most;
}

// The command of the host's `programs:` entry that starts with `program`, its continuation lines
// joined and each run of blanks made one space; empty when there is none.
std::string program_entry(const std::string &settings_file, const std::string &program)
{
    const std::string text = read_bytes(settings_file);
    std::string flat;
    bool blank = false;
    for (size_t k = 0; k < text.size(); k++) {
        // A backslash at a line's end continues the entry on the next.
        if (text[k] == '\\' && k + 1 < text.size() && text[k + 1] == '\n') {
            k++;
            blank = true;
            continue;
        }
        if (text[k] == ' ' || text[k] == '\t' || text[k] == '\n') {
            blank = true;
            continue;
        }
        if (blank && !flat.empty())
            flat += ' ';
        blank = false;
        flat += text[k];
    }
    const size_t start = flat.find(program + " ");
    if (start == std::string::npos)
        return std::string();
    // Entries end in a written "\n".
    const size_t end = flat.find("\\n", start);
    std::string entry = flat.substr(start, end == std::string::npos ? std::string::npos : end - start);
    while (!entry.empty() && entry.back() == ' ')
        entry.pop_back();
    return entry;
}

// Life's description without its controls: how the dialog looks when they are missing.
std::string without_controls(const std::string &xml)
{
    std::string out;
    for (const std::string &line : split_lines(xml)) {
        const size_t first = line.find_first_not_of(" \t");
        const std::string start = first == std::string::npos ? std::string() : line.substr(first);
        bool control = false;
        for (const char *tag : {"<select", "<option", "</select", "<boolean"})
            control |= start.rfind(tag, 0) == 0;
        if (!control)
            out += line + "\n";
    }
    return out;
}

TEST(screen_saver_host, xscreensaver_settings_shows_lifes_population_speed_and_text_and_writes_their_options_into_its_command)
{
    // Well-formed for the dialog's XML reader (libxml2); Debian ships no schema for hack descriptions.
    ASSERT_EQ(run_tool({"xmllint", "--noout", LIFE_XML}), 0);
    const std::string xml = read_bytes(LIFE_XML), bare = without_controls(xml);
    ASSERT_NE(bare, xml);

    host_desk h(sized(1024, 768));
    ASSERT_TRUE(h.ok());
    scratch_folder &dir = h.dir;
    const std::string &folder = h.installed.folder, &home = h.installed.home;
    const std::string program = folder + "/life";
    // Life is the first program in the list and so the one chosen.
    write_host_settings(home, program);

    // The machine's descriptions and Life's, in a copy the dialog sees in place of the real folder.
    const std::string real_config = "/usr/share/xscreensaver/config", config = dir.file("config");
    std::filesystem::create_directory(config);
    for (const auto &e : std::filesystem::directory_iterator(real_config))
        std::filesystem::copy_file(e.path(), config + "/" + e.path().filename().string());
    write_bytes(config + "/life.xml", bare);
    ASSERT_EQ(run_tool({"xmllint", "--noout", config + "/life.xml"}), 0);

    // The daemon runs, so the dialog offers no "Launch it now?" over the test's keys.
    life_process host("/usr/bin/xscreensaver", {"-no-splash"}, true, dir.file("host.stderr"), home);
    ASSERT_TRUE(poll_until([&] { return host_command(home, "-version", dir); }, 15000)) << host.error_output();

    // Its own mount namespace (private: nothing reaches the machine's) holds the copy over the real
    // folder; the dialog runs there as the user, all its files in that home and no session bus to
    // reach or start.  --debug logs the commands it builds.
    const std::string user = std::to_string((unsigned)nobody_uid), group = std::to_string((unsigned)nobody_gid);
    const std::string script = "mount --bind \"$1\" " + real_config + " && exec setpriv --reuid=" + user +
                               " --regid=" + group +
                               " --clear-groups --pdeathsig keep env -u XDG_CONFIG_HOME -u XDG_DATA_HOME"
                               " -u XDG_CACHE_HOME -u XDG_RUNTIME_DIR HOME=\"$2\" NO_AT_BRIDGE=1"
                               " DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent xscreensaver-settings --debug";
    life_process settings("/usr/bin/unshare", {"--mount", "--propagation", "private", "/bin/sh", "-c", script, "sh",
                                               config, home},
                          true, dir.file("settings.stderr"));
    top_window main_window;
    ASSERT_TRUE(poll_until(
        [&] {
            for (const top_window &w : viewable_windows())
                if (!w.dialog_of && w.name.find("XScreenSaver") != std::string::npos && w.w >= 640) {
                    main_window = w;
                    return true;
                }
            return false;
        },
        20000))
        << settings.error_output();

    // Alt+S presses the main window's "Settings..." button; the hack's dialog is the window made its dialog.
    // It opens beside the main window, which is as wide as the screen: with no window manager to keep it
    // on the screen, the test moves it there, as a user would.
    const int dialog_x = 640;
    auto open_dialog = [&](top_window &dialog, screenshot &shot) {
        if (run_tool({"xdotool", "windowfocus", "--sync", main_window.xid(), "key", "alt+s"}) != 0)
            return false;
        if (!poll_until(
                [&] {
                    for (const top_window &w : viewable_windows())
                        if (w.dialog_of == main_window.id) {
                            dialog = w;
                            if (w.x == dialog_x && w.y == 0)
                                return true;
                            run_tool({"xdotool", "windowmove", w.xid(), std::to_string(dialog_x), "0"});
                        }
                    return false;
                },
                10000))
            return false;
        // Drawn once two screenshots in a row agree on it.
        long before = -1;
        return poll_until(
            [&] {
                shot = take_screenshot();
                if (shot.width == 0 || dialog.x < 0 || dialog.y < 0 || dialog.x + dialog.w > shot.width ||
                    dialog.y + dialog.h > shot.height)
                    return false;
                const long now = ink(shot, dialog);
                const bool same = now > 0 && now == before;
                before = now;
                return same;
            },
            10000);
    };
    auto keys = [&](const top_window &dialog, const std::vector<std::string> &names) {
        std::vector<std::string> argv = {"xdotool", "windowfocus", "--sync", dialog.xid(), "key", "--delay", "80"};
        argv.insert(argv.end(), names.begin(), names.end());
        return run_tool(argv) == 0;
    };
    auto entry_becomes = [&](const std::string &want) {
        return poll_until([&] { return program_entry(home + "/.xscreensaver", program) == want; }, 10000);
    };

    // Without the controls: the title and the description.
    top_window bare_dialog, dialog;
    screenshot bare_shot, shot;
    ASSERT_TRUE(open_dialog(bare_dialog, bare_shot)) << settings.error_output();
    EXPECT_EQ(bare_dialog.name, "XScreenSaver: Life Settings");
    const long bare_ink = ink(bare_shot, bare_dialog);
    ASSERT_TRUE(keys(bare_dialog, {"Escape"}));
    ASSERT_TRUE(poll_until(
        [&] {
            for (const top_window &w : viewable_windows())
                if (w.dialog_of == main_window.id)
                    return false;
            return true;
        },
        10000));

    // With them (the file is read again as the dialog opens), in a dialog of the same size: two menus,
    // each over 200 x 30 pixels of their own shade, and a check box with its label.
    write_bytes(config + "/life.xml", xml);
    ASSERT_TRUE(open_dialog(dialog, shot)) << settings.error_output();
    const long controls_ink = ink(shot, dialog);
    std::printf("settings dialog: %d x %d, %ld pixels drawn; without the controls %d x %d, %ld\n", dialog.w,
                dialog.h, controls_ink, bare_dialog.w, bare_dialog.h, bare_ink);
    EXPECT_GT(controls_ink, bare_ink + 10000);

    // The second population and speed, the text off, then Save (focus wraps from the first control to it):
    // the chosen program's command gets each option.
    ASSERT_TRUE(keys(dialog, {"Down", "Tab", "Down", "Tab", "space", "shift+Tab", "shift+Tab", "shift+Tab", "Return"}));
    EXPECT_TRUE(entry_becomes(program + " --root --population 2 --max-ips 100000 --no-text"))
        << program_entry(home + "/.xscreensaver", program) << "\n" << settings.error_output();

    // Read back into the controls when the dialog opens again: each set back to its default, the command is bare.
    ASSERT_TRUE(open_dialog(dialog, shot)) << settings.error_output();
    ASSERT_TRUE(keys(dialog, {"Up", "Tab", "Up", "Tab", "space", "shift+Tab", "shift+Tab", "shift+Tab", "Return"}));
    EXPECT_TRUE(entry_becomes(program + " --root"))
        << program_entry(home + "/.xscreensaver", program) << "\n" << settings.error_output();
    // The dialog matched every option of every command to a control ("no match for ..." otherwise).
    for (const std::string &line : split_lines(settings.error_output()))
        EXPECT_FALSE(line.rfind("xscreensaver-settings:", 0) == 0 && line.find("WARNING") != std::string::npos)
            << line;

    // The dialog ends its preview with itself; the daemon ends on request.
    settings.signal(SIGTERM);
    EXPECT_TRUE(settings.wait_exit(10000));
    EXPECT_TRUE(poll_until([&] { return processes_running(program) == 0; }, 10000));
    EXPECT_TRUE(host_command(home, "-exit", dir));
    EXPECT_TRUE(host.wait_exit(10000));
}

// Pixels of an 800 x 600 picture where every pixel differs from its neighbours: a wrong source pixel shows.
struct test_picture {
    std::vector<uint32_t> pixels = std::vector<uint32_t>(800 * 600);
    std::vector<const uint32_t *> rows = std::vector<const uint32_t *>(600);
    test_picture()
    {
        for (int y = 0; y < 600; y++) {
            for (int x = 0; x < 800; x++)
                pixels[(size_t)(y * 800 + x)] = (uint32_t)(x * 7 % 256) << 16 | (uint32_t)(y * 5 % 256) << 8 | 0x40;
            rows[(size_t)y] = &pixels[(size_t)y * 800];
        }
    }
    picture_rows view() const { return {rows.data(), 800, 600}; }
};

TEST(screen_saver_host, the_presenter_puts_a_full_frame_into_a_1920_by_1080_window_well_within_a_frame)
{
    x_server server(sized(1920, 1080));
    ASSERT_TRUE(server.ok());
    Display *d = XOpenDisplay(nullptr);
    ASSERT_TRUE(d);
    const Window w = XCreateSimpleWindow(d, DefaultRootWindow(d), 0, 0, 1920, 1080, 0, 0, 0xFFFFFF);
    XMapWindow(d, w);
    XSync(d, False);

    std::string why;
    ASSERT_TRUE(window_present_open(w, 800, 600, &why)) << why;
    const test_picture picture;
    const int frames = 36;
    const auto start = std::chrono::steady_clock::now();
    for (int f = 0; f < frames; f++) {
        window_present_picture(picture.view(), 0, 0, 800, 600);
        window_present_sync();
    }
    const double ms =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count() / frames;
    std::printf("presenter: %.2f ms a full frame at 1920 x 1080 (%s)\n", ms,
                window_present_shared() ? "MIT-SHM" : "XPutImage");
    // An 18-per-second display pass has 55 ms; the presenter takes a small part of it even on a busy machine.
    EXPECT_LT(ms, 40.0);

    // Read back: 1440 x 1080 at x = 240, nearest neighbour, black on both sides.
    XImage *img = XGetImage(d, w, 0, 0, 1920, 1080, AllPlanes, ZPixmap);
    ASSERT_TRUE(img);
    long wrong = 0;
    for (int y = 0; y < 1080; y += 7)
        for (int x = 0; x < 1920; x += 3) {
            const uint32_t got = (uint32_t)XGetPixel(img, x, y) & 0xFFFFFF;
            const uint32_t want =
                x < 240 || x >= 1680 ? 0 : picture.pixels[(size_t)((y * 600 / 1080) * 800 + (x - 240) * 800 / 1440)];
            wrong += got != want;
        }
    XDestroyImage(img);
    EXPECT_EQ(wrong, 0);
    window_present_close();
    XCloseDisplay(d);
}

} // namespace
