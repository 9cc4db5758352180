// The program on a system that works against it: missing or broken standard descriptors, a logout that
// stops it twice, a slow or full disk, root in a user's folder, odd names beside the world, a torn file.
#include "life_process.h"
#include "screenshot.h"
#include "x_server.h"

#include "save_file.h"
#include "simulation.h"
#include "world.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <filesystem>

#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

// A preloaded library cannot come before the sanitizer runtime of a sanitized program.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define LIFE_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define LIFE_SANITIZED 1
#endif
#endif

namespace {

namespace fs = std::filesystem;

const int start_timeout_ms = 15000;
const int exit_timeout_ms = 15000;
const uint32_t text_grey = 0x808080;

// Waits until the run shows its world; false at once when it has ended instead.
bool world_on_screen(life_process &p)
{
    bool shown = false;
    poll_until(
        [&] {
            const screenshot s = take_screenshot();
            shown = s.width > 0 && text_at(s, 10, 10, "time:", text_grey);
            return shown || !p.running();
        },
        start_timeout_ms);
    return shown;
}

// Empty when the file holds a whole world, every line of it, that the program's own reader takes;
// otherwise what is wrong with it.
std::string world_problem(const std::string &path, const scratch_folder &dir)
{
    const std::string bytes = read_bytes(path);
    if (bytes.empty())
        return path + " is missing or empty";
    if (bytes.back() != '\n')
        return path + " is cut short: no final newline";
    if (bytes.find_first_not_of("0123456789.-+e\n") != std::string::npos)
        return path + " holds text that is not a number";
    const std::vector<std::string> lines = split_lines(bytes);
    auto num = [&](size_t i) { return i < lines.size() ? std::atol(lines[i].c_str()) : -1; };
    const long pop_line = 5 + 2 * num(3) * num(4);
    if (pop_line <= 5 || pop_line >= (long)lines.size())
        return path + " is cut short inside the field";
    const long expected = save_file_lines((int)num(3), (int)num(4), (int)num((size_t)pop_line));
    if ((long)std::count(bytes.begin(), bytes.end(), '\n') != expected)
        return path + " does not have the " + std::to_string(expected) + " lines its header calls for";
    // The reader moves a refused file aside, so it reads a copy.
    const std::string copy = dir.file("checked.sav");
    write_bytes(copy, bytes);
    const auto sim = simulation_new();
    const load_outcome loaded = load_world(*sim, copy.c_str());
    const bool taken = loaded.result == load_ok;
    const std::string why = loaded.message;
    fs::remove(copy), fs::remove(copy + ".bad");
    return taken ? std::string() : path + " is refused by the reader: " + why;
}

// A new world from the headless runner, `steps` steps on.
void make_world(const std::string &path, int steps)
{
    ASSERT_EQ(run_tool({life_bench(), "--steps", std::to_string(steps), "--save", path}), 0);
}

void give_to_nobody(const std::string &path, mode_t mode)
{
    ASSERT_EQ(chown(path.c_str(), nobody_uid, nobody_gid), 0) << path;
    ASSERT_EQ(chmod(path.c_str(), mode), 0) << path;
}

bool contains(const std::string &text, const std::string &part) { return text.find(part) != std::string::npos; }

struct hostile_system : ::testing::Test {
    void SetUp() override
    {
        ASSERT_FALSE(dir.path.empty());
        ASSERT_TRUE(file_exists(life_bin())) << life_bin();
    }
    // A folder of its own holding a link to the program, as `life`.
    std::string program_folder(const std::string &name)
    {
        const std::string folder = dir.file(name);
        fs::create_directory(folder);
        fs::create_symlink(fs::absolute(life_bin()), folder + "/life");
        return folder;
    }
    scratch_folder dir;
};

enum class ending { key, sigterm, display_lost };

// Runs as nobody from a folder it cannot write, so that every start says on stderr where the world is kept.
TEST_F(hostile_system, closed_or_broken_standard_descriptors_neither_freeze_nor_kill_the_program)
{
    const std::string installed = read_only_program_folder(dir, "life");
    const std::string home = nobody_home(dir);
    ASSERT_FALSE(installed.empty() || home.empty());
    const std::string world_file = home + "/.local/share/life/life.sav";
    auto run = [&](const char *what, start_options options, ending end, bool pipe_output) {
        SCOPED_TRACE(what);
        x_server x;
        ASSERT_TRUE(x.ok());
        int ends[2] = {-1, -1};
        if (pipe_output) {
            // Its reader is gone before the program starts: every line it writes meets a broken pipe.
            ASSERT_EQ(pipe2(ends, O_CLOEXEC), 0);
            close(ends[0]);
            options.output_fd = ends[1];
        }
        life_process p(installed + "/life", {}, true, dir.file("nobody.stderr"), home, options);
        if (pipe_output)
            close(ends[1]);
        ASSERT_TRUE(world_on_screen(p)) << "the world never showed; " << (p.running() ? "still running" : "ended");
        if (end == ending::key)
            EXPECT_EQ(run_tool({"xdotool", "key", "x"}), 0);
        else if (end == ending::sigterm)
            p.signal(SIGTERM);
        else
            x.stop();
        ASSERT_TRUE(p.wait_exit(exit_timeout_ms)) << "still running: " << p.thread_stacks();
        EXPECT_EQ(p.exit_code, 0) << "killed by a signal shows as -1";
        EXPECT_EQ(world_problem(world_file, dir), "");
    };
    start_options no_stderr;
    no_stderr.closed = {2};
    run("stderr closed, ended by a key", no_stderr, ending::key, false);
    EXPECT_EQ((long)read_lines(world_file).size(), save_file_lines(100, 75, 50)) << "a new world's save";
    start_options none;
    none.closed = {0, 1, 2};
    run("0, 1 and 2 closed, the display lost", none, ending::display_lost, false);
    run("output to a pipe with no reader, SIGTERM", start_options(), ending::sigterm, true);
    run("output to a pipe with no reader, the display lost", start_options(), ending::display_lost, true);
}

// A logout: the session manager's SIGTERM, then the X server going away while the world is being saved.
void stop_twice_and_check(const std::string &folder, const scratch_folder &dir, const start_options &options)
{
    const std::string save = folder + "/life.sav";
    const std::string before = read_bytes(save);
    x_server x;
    ASSERT_TRUE(x.ok());
    life_process p(folder + "/life", {}, true, dir.file("life.stderr"), "", options);
    ASSERT_TRUE(world_on_screen(p)) << p.error_output();
    sleep_ms(500);
    p.signal(SIGTERM);
    sleep_ms(5);
    x.stop();
    ASSERT_TRUE(p.wait_exit(60000)) << "still running: " << p.thread_stacks();
    EXPECT_EQ(p.exit_code, 0) << p.error_output();
    EXPECT_FALSE(contains(p.error_output(), "the world was not saved")) << p.error_output();
    EXPECT_EQ(world_problem(save, dir), "");
    struct stat now, prev;
    ASSERT_EQ(stat(save.c_str(), &now), 0);
    ASSERT_EQ(stat((save + ".prev").c_str(), &prev), 0) << "no world from before the run";
    EXPECT_NE(now.st_ino, prev.st_ino) << "life.sav.prev is the new world itself";
    EXPECT_TRUE(read_bytes(save + ".prev") == before) << "life.sav.prev is not the world from before the run";
    EXPECT_FALSE(read_bytes(save) == before) << "this run's world was not saved";
}

TEST_F(hostile_system, a_logout_that_stops_the_program_twice_loses_nothing)
{
    const std::string folder = program_folder("desk");
    make_world(folder + "/life.sav", 0);
    for (int round = 1; round <= 3; round++) {
        SCOPED_TRACE("round " + std::to_string(round));
        stop_twice_and_check(folder, dir, start_options());
    }
}

TEST_F(hostile_system, a_logout_that_stops_the_program_twice_on_a_slow_disk_loses_nothing)
{
#ifdef LIFE_SANITIZED
    GTEST_SKIP() << "the slow disk is a preloaded library, which a sanitized program refuses to load";
#endif
    const std::string folder = program_folder("desk");
    make_world(folder + "/life.sav", 0);
    start_options slow;
    slow.environment = {std::string("LD_PRELOAD=") + SLOW_FSYNC_LIBRARY, "SLOW_FSYNC_SECONDS=3"};
    for (int round = 1; round <= 2; round++) {
        SCOPED_TRACE("round " + std::to_string(round));
        stop_twice_and_check(folder, dir, slow);
    }
}

// A disk of its own, small enough to fill (tmpfs, owned by nobody); `mounted` false where this system forbids it.
struct small_disk {
    std::string path;
    bool mounted = false;
    explicit small_disk(const std::string &where) : path(where)
    {
        fs::create_directory(path);
        mounted = mount("tmpfs", path.c_str(), "tmpfs", 0, "size=1400k,uid=65534,gid=65534") == 0;
    }
    ~small_disk()
    {
        if (mounted)
            umount2(path.c_str(), MNT_DETACH);
    }
    small_disk(const small_disk &) = delete;
    small_disk &operator=(const small_disk &) = delete;
};

// Writes to `path` until the disk holds no more.
void fill_up(const std::string &path)
{
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ASSERT_GE(fd, 0) << path;
    const std::string block(4096, 'x');
    while (write(fd, block.data(), block.size()) == (ssize_t)block.size()) {
    }
    close(fd);
}

// The same world with every real in its shortest form ("0.310000" as "0.31"), which the reader takes:
// any save of it is much longer than the file, so an in-place save needs room the disk no longer has.
std::string shortest_numbers(const std::string &bytes)
{
    std::string out;
    for (std::string line : split_lines(bytes)) {
        if (line.find('.') != std::string::npos) {
            line.erase(line.find_last_not_of('0') + 1);
            if (!line.empty() && line.back() == '.')
                line.pop_back();
        }
        out += line + "\n";
    }
    return out;
}

TEST_F(hostile_system, a_full_disk_during_an_in_place_save_never_cuts_the_world_short)
{
    const std::string installed = read_only_program_folder(dir, "life");
    const std::string home = nobody_home(dir);
    ASSERT_FALSE(installed.empty() || home.empty());
    small_disk disk(dir.file("disk"));
    const std::string save = disk.path + "/life.sav";
    make_world(save, 0);
    write_bytes(save, shortest_numbers(read_bytes(save)));
    const std::string before = read_bytes(save);
    give_to_nobody(save, 0644);
    fs::create_symlink(installed + "/life", disk.path + "/life");
    // Without a disk of its own, a file-size limit makes any growth of the world fail as a full disk does.
    start_options full;
    if (disk.mounted)
        fill_up(disk.path + "/filler");
    else
        full.file_size_limit = (long long)before.size();
    // The folder is read-only and the world writable: the program rewrites the world in place.
    give_to_nobody(disk.path, 0555);
    {
        x_server x;
        ASSERT_TRUE(x.ok());
        life_process p(disk.path + "/life", {}, true, dir.file("full.stderr"), home, full);
        ASSERT_TRUE(world_on_screen(p)) << p.error_output();
        sleep_ms(3000);
        p.signal(SIGTERM);
        ASSERT_TRUE(p.wait_exit(exit_timeout_ms)) << p.thread_stacks();
        const std::string err = p.error_output();
        if (read_bytes(save) != before) {
            EXPECT_EQ(world_problem(save, dir), "") << err;
        }
        if (p.exit_code != 0) {
            EXPECT_EQ(p.exit_code, 1) << err;
            EXPECT_TRUE(read_bytes(save) == before) << "not saved, yet the world file changed: " << err;
            EXPECT_TRUE(contains(err, "not saved")) << err;
            EXPECT_TRUE(contains(err, "untouched") || contains(err, "as it is")) << err;
            EXPECT_FALSE(contains(err, "damaged")) << err;
        }
    }
    // Room again: the next run takes that world and saves it.
    fs::remove(disk.path + "/filler");
    x_server x;
    ASSERT_TRUE(x.ok());
    life_process p(disk.path + "/life", {}, true, dir.file("room.stderr"), home);
    ASSERT_TRUE(world_on_screen(p)) << p.error_output();
    p.signal(SIGTERM);
    ASSERT_TRUE(p.wait_exit(exit_timeout_ms)) << p.thread_stacks();
    EXPECT_EQ(p.exit_code, 0) << p.error_output();
    EXPECT_FALSE(contains(p.error_output(), "refused")) << p.error_output();
    EXPECT_FALSE(file_exists(save + ".bad"));
    EXPECT_EQ(world_problem(save, dir), "");
}

struct ownership {
    uid_t uid = 0;
    gid_t gid = 0;
    mode_t mode = 0;
};

ownership owner_of(const std::string &path)
{
    struct stat st;
    if (lstat(path.c_str(), &st) != 0)
        return {(uid_t)-1, (gid_t)-1, 0};
    return {st.st_uid, st.st_gid, st.st_mode & 07777};
}

// Ends a run by SIGTERM once its world shows; false when it never showed or never ended.
bool run_until_shown(life_process &p)
{
    const bool shown = world_on_screen(p);
    p.signal(SIGTERM);
    return p.wait_exit(exit_timeout_ms) && shown;
}

// Root (sudo, an admin's session) running the program that lives in a user's folder.
TEST_F(hostile_system, root_in_a_users_folder_leaves_the_users_files_the_users)
{
    const std::string installed = read_only_program_folder(dir, "life");
    const std::string home = nobody_home(dir);
    ASSERT_FALSE(installed.empty() || home.empty());
    const std::string folder = dir.file("user");
    fs::create_directory(folder);
    give_to_nobody(folder, 0755);
    fs::create_symlink(installed + "/life", folder + "/life");
    const std::string save = folder + "/life.sav";
    make_world(save, 0);
    give_to_nobody(save, 0644);
    x_server x;
    ASSERT_TRUE(x.ok());
    {
        life_process root(folder + "/life", {}, true, dir.file("root.stderr"));
        ASSERT_TRUE(run_until_shown(root)) << root.error_output();
        EXPECT_EQ(root.exit_code, 0) << root.error_output();
    }
    for (const char *name : {"life.sav", "life.sav.prev", "life.sav.lock"}) {
        const ownership o = owner_of(folder + "/" + name);
        EXPECT_EQ(o.uid, (uid_t)nobody_uid) << name;
        EXPECT_EQ(o.gid, (gid_t)nobody_gid) << name;
    }
    EXPECT_EQ(owner_of(save).mode, 0644u);
    {
        life_process user(folder + "/life", {}, true, dir.file("user.stderr"), home);
        ASSERT_TRUE(run_until_shown(user)) << user.error_output();
        EXPECT_EQ(user.exit_code, 0) << user.error_output();
        EXPECT_FALSE(contains(user.error_output(), "read-only")) << user.error_output();
        EXPECT_EQ(world_problem(save, dir), "");
        EXPECT_FALSE(file_exists(home + "/.local/share/life/life.sav")) << "the user's world moved away";
    }
    // A world the user made read-only stays as it is, even for root.
    ASSERT_EQ(chmod(save.c_str(), 0444), 0);
    const std::string kept = read_bytes(save);
    life_process root(folder + "/life", {}, true, dir.file("root.stderr"));
    ASSERT_TRUE(run_until_shown(root)) << root.error_output();
    EXPECT_TRUE(read_bytes(save) == kept) << "root wrote over a read-only world: " << root.error_output();
    EXPECT_EQ(owner_of(save).mode, 0444u);
}

// What lies beside the world that the program did not put there: a folder or a dangling link where
// the lock goes, a user's backups with names like the program's temporaries, a file torn mid-number.
TEST_F(hostile_system, odd_names_and_a_torn_file_beside_the_world)
{
    x_server x;
    ASSERT_TRUE(x.ok());
    // Where the world would go if the program gave up on its own folder.
    const std::string data_home = dir.file("data");
    start_options elsewhere;
    elsewhere.environment = {"XDG_DATA_HOME=" + data_home};
    {
        SCOPED_TRACE("a folder where the lock goes");
        const std::string folder = program_folder("locked");
        const std::string save = folder + "/life.sav";
        make_world(save, 2000);
        std::vector<std::string> lines = split_lines(read_bytes(save));
        lines[1] = "4321"; // a clock no new world shows
        write_bytes(save, join_lines(lines));
        const std::string before = read_bytes(save);
        fs::create_directory(save + ".lock");
        life_process p(folder + "/life", {}, true, dir.file("locked.stderr"), "", elsewhere);
        long shown = -1;
        poll_until([&] { return (shown = read_figure(take_screenshot(), 10, 10, text_grey)) >= 0; }, start_timeout_ms);
        EXPECT_GE(shown, 4321) << "the program does not run the world beside it: " << p.error_output();
        p.signal(SIGTERM);
        ASSERT_TRUE(p.wait_exit(exit_timeout_ms));
        EXPECT_TRUE(contains(p.error_output(), "lock")) << p.error_output();
        if (p.exit_code != 0) {
            EXPECT_TRUE(read_bytes(save) == before) << "not saved, yet the world file changed";
        } else {
            EXPECT_EQ(world_problem(save, dir), "");
        }
        EXPECT_FALSE(fs::exists(data_home + "/life/life.sav")) << "switched to a new world: " << p.error_output();
    }
    {
        SCOPED_TRACE("a dangling link where the lock goes");
        const std::string folder = program_folder("dangling");
        fs::create_symlink(folder + "/target", folder + "/life.sav.lock");
        life_process p(folder + "/life", {}, true, dir.file("dangling.stderr"), "", elsewhere);
        EXPECT_TRUE(run_until_shown(p)) << p.error_output();
        EXPECT_FALSE(fs::exists(fs::symlink_status(folder + "/target"))) << "the lock followed the link";
    }
    {
        SCOPED_TRACE("a user's backups named like temporaries");
        const std::string folder = program_folder("backups");
        const std::vector<std::string> backups = {folder + "/life.sav.20240101.old", folder + "/life.sav.123456789.tmp"};
        for (const std::string &b : backups)
            write_bytes(b, "a backup of " + b + "\n");
        life_process p(folder + "/life", {}, true, dir.file("backups.stderr"));
        ASSERT_TRUE(run_until_shown(p)) << p.error_output();
        EXPECT_EQ(p.exit_code, 0) << p.error_output();
        EXPECT_EQ(world_problem(folder + "/life.sav", dir), "");
        for (const std::string &b : backups)
            EXPECT_EQ(read_bytes(b), "a backup of " + b + "\n") << "removed or changed";
    }
    {
        SCOPED_TRACE("a file cut inside its last number");
        const std::string folder = program_folder("torn");
        const std::string save = folder + "/life.sav";
        make_world(save, 0);
        std::string torn = read_bytes(save);
        torn.resize(torn.size() - 8);
        write_bytes(save, torn);
        life_process p(folder + "/life", {}, true, dir.file("torn.stderr"));
        ASSERT_TRUE(run_until_shown(p)) << p.error_output();
        EXPECT_TRUE(contains(p.error_output(), "refused")) << p.error_output();
        EXPECT_TRUE(read_bytes(save + ".bad") == torn) << "the torn file was not moved aside";
        EXPECT_EQ(p.exit_code, 0) << p.error_output();
    }
    {
        // The largest id X gives out, which no client holds.
        SCOPED_TRACE("a preview window that does not exist");
        life_process p(program_folder("preview") + "/life", {"--window-id", "0x1fffffff"}, true,
                       dir.file("preview.stderr"));
        ASSERT_TRUE(p.wait_exit(exit_timeout_ms));
        EXPECT_EQ(p.exit_code, 1) << p.error_output();
        EXPECT_FALSE(contains(p.error_output(), "saving the world")) << p.error_output();
    }
}

} // namespace
