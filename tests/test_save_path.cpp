// Where the save file goes: named after the program, beside it or in the user's data folder, one world per copy.
#include "save_fixture.h"
#include "save_path.h"

#include <gtest/gtest.h>

#include <string>

#include <cstring>
#include <filesystem>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

static std::string own_executable()
{
    char buffer[4096];
    const ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer);
    return n > 0 ? std::string(buffer, (size_t)n) : std::string();
}

// Only the file name's last extension becomes ".sav": a screen saver's in any case, none added to;
// a dot in a folder's name is no extension, and a hidden name's leading dot is none either.
TEST(save_path, the_extension_of_the_file_name_becomes_sav)
{
    const char *const cases[][2] = {
        {"/usr/games/life.exe", "/usr/games/life.sav"},
        {"./life.bin", "./life.sav"},
        {"/opt/life.tar.gz", "/opt/life.tar.sav"},
        {"build/life.", "build/life.sav"},
        {"/mnt/c/Windows/life.SCR", "/mnt/c/Windows/life.sav"},
        {"/mnt/c/Windows/life.scr", "/mnt/c/Windows/life.sav"},
        {"/home/ann/games.d/life", "/home/ann/games.d/life.sav"},
        {"./v1.2/bin/life", "./v1.2/bin/life.sav"},
        {"../life", "../life.sav"},
        {"/srv/x.y/life.run", "/srv/x.y/life.sav"},
        {"/usr/local/bin/life", "/usr/local/bin/life.sav"},
        {"/usr/local/bin/.life", "/usr/local/bin/.life.sav"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(save_path_from(c[0]), c[1]) << c[0];
}

TEST(save_path, a_very_long_path_is_kept_whole)
{
    std::string folder;
    for (int n = 0; n < 300; n++)
        folder += "/folder.number." + std::to_string(n);
    const std::string got = save_path_from((folder + "/life.scr").c_str());
    EXPECT_GT(got.size(), 4000u);
    EXPECT_EQ(got, folder + "/life.sav");
}

TEST(save_path, a_bare_name_found_through_path_uses_the_executables_own_place)
{
    const std::string exe = own_executable();
    ASSERT_FALSE(exe.empty());
    const size_t slash = exe.rfind('/');
    const size_t dot = exe.rfind('.');
    const std::string expected = (dot != std::string::npos && dot > slash + 1 ? exe.substr(0, dot) : exe) + ".sav";
    EXPECT_EQ(save_path_from("life"), expected);
    EXPECT_EQ(save_path_from("life.scr"), expected);
    EXPECT_EQ(save_path_from(""), expected);
    EXPECT_EQ(save_path_from(nullptr), expected);
    // The same file whatever the working folder.
    char here[4096];
    ASSERT_TRUE(getcwd(here, sizeof here));
    ASSERT_EQ(chdir("/"), 0);
    EXPECT_EQ(save_path_from("life"), expected);
    ASSERT_EQ(chdir(here), 0);
}

// ---------------------------------------------------------------- claiming the world

// A program folder "bin" holding the program "life" inside a scratch folder, and a home beside it.
struct world_claim : save_test {
    scratch_folder dir;
    std::string bin = dir.file("bin"), program = dir.file("bin/life"), world_path = dir.file("bin/life.sav");
    void SetUp() override
    {
        std::filesystem::create_directories(bin);
        std::filesystem::create_directories(dir.file("home"));
        lived_world(*sim, 10, 20);
    }
};

static std::string described(const world_place &p)
{
    return p.path + (p.can_save ? " save" : " no-save") + (p.in_place ? " in-place" : "") +
           (p.lock_fd >= 0 ? " locked" : "") + " | " + p.notice;
}

TEST_F(world_claim, a_second_copy_takes_the_next_world_and_a_released_world_is_free_again)
{
    world_place first = claim_world_place(program.c_str());
    world_place second = claim_world_place(program.c_str());
    world_place third = claim_world_place(program.c_str());
    EXPECT_EQ(described(first), world_path + " save locked | ");
    EXPECT_EQ(described(second), dir.file("bin/life-2.sav") + " save locked | another copy is running on " +
                                     world_path + ": this one keeps its world in " + dir.file("bin/life-2.sav"));
    EXPECT_EQ(third.path, dir.file("bin/life-3.sav"));
    EXPECT_TRUE(saved(save_world(world, first)));
    EXPECT_TRUE(saved(save_world(world, second)));
    release_world_place(second);
    EXPECT_EQ(second.lock_fd, -1);
    world_place again = claim_world_place(program.c_str());
    EXPECT_EQ(again.path, dir.file("bin/life-2.sav"));
    // Another process is kept out the same way, and gets in once the holder is gone.
    EXPECT_EQ(in_child([&] { return claim_world_place(program.c_str()).path; }).second, dir.file("bin/life-4.sav"));
    for (world_place *p : {&first, &third, &again})
        release_world_place(*p);
    EXPECT_EQ(in_child([&] { return claim_world_place(program.c_str()).path; }).second, world_path);
    // The lock files stay for the next run; the worlds are whole.
    EXPECT_TRUE(file_exists(world_path + ".lock"));
    fresh_world(*sim);
    EXPECT_EQ(load_world(*sim, dir.file("bin/life-2.sav").c_str()), load_ok);
}

TEST_F(world_claim, a_dangling_link_as_the_world_creates_the_file_it_names)
{
    std::filesystem::create_directories(dir.file("worlds"));
    ASSERT_EQ(symlink("../worlds/mine.sav", world_path.c_str()), 0);
    world_place place = claim_world_place(program.c_str());
    EXPECT_EQ(described(place), world_path + " save locked | ");
    fresh_world(*sim);
    EXPECT_EQ(load_world(*sim, place.path.c_str()), load_missing);
    lived_world(*sim, 10, 20);
    ASSERT_TRUE(saved(save_world(world, place)));
    EXPECT_TRUE(std::filesystem::is_symlink(world_path));
    EXPECT_EQ((long)split_lines(read_bytes(dir.file("worlds/mine.sav"))).size(), save_file_lines(100, 75, 10));
    release_world_place(place);
}

TEST_F(world_claim, a_program_folder_the_user_cannot_write_keeps_the_world_in_the_data_home)
{
    ASSERT_EQ(chmod(bin.c_str(), 0555), 0);
    const auto [status, said] = as_ordinary_user(dir, [&] {
        setenv("XDG_DATA_HOME", dir.file("home/data").c_str(), 1);
        // A preview's look finds the same world without making its folder.
        const world_place look = look_up_world_place(program.c_str());
        const std::string looked = described(look) + (file_exists(dir.file("home/data")) ? " made" : "") + "\n";
        world_place by_xdg = claim_world_place(program.c_str());
        const bool saved = (bool)save_world(world, by_xdg);
        unsetenv("XDG_DATA_HOME");
        setenv("HOME", dir.file("home").c_str(), 1);
        world_place by_home = claim_world_place(program.c_str());
        return looked + described(by_xdg) + (saved ? " saved" : " not saved") + "\n" + described(by_home);
    });
    EXPECT_CHILD_RAN(status, said);
    const std::string data = dir.file("home/data/life");
    const std::string why = "the program's folder (" + bin + ") cannot be written: the world is kept in ";
    EXPECT_EQ(said, data + "/life.sav no-save | \n" + data + "/life.sav save locked | " + why + data +
                        "/life.sav saved\n" + dir.file("home/.local/share/life/life.sav") + " save locked | " + why +
                        dir.file("home/.local/share/life/life.sav"));
    struct stat st;
    ASSERT_EQ(stat(data.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    EXPECT_TRUE(file_exists(data + "/life.sav"));
    EXPECT_TRUE(std::filesystem::is_empty(bin));
}

// An installed program's folder may be writable (root, an unpacked package): the world still goes home,
// even with a world already beside the program, and the preview looks there too.
TEST_F(world_claim, an_installed_program_keeps_every_world_in_the_users_data_folder)
{
    ASSERT_TRUE(save_world(world, world_path.c_str()));
    const auto [status, said] = in_child([&] {
        setenv("XDG_DATA_HOME", dir.file("home/data").c_str(), 1);
        const world_place look = look_up_world_place(program.c_str(), world_rule::user_data);
        world_place place = claim_world_place(program.c_str(), world_rule::user_data);
        const bool saved = (bool)save_world(world, place);
        unsetenv("XDG_DATA_HOME");
        unsetenv("HOME");
        world_place homeless = claim_world_place(program.c_str(), world_rule::user_data);
        return look.path + "\n" + described(place) + (place.notice_is_routine ? " (routine)" : "") +
               (saved ? " saved" : " not saved") + "\n" + described(homeless);
    });
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << said;
    const std::string data_world = dir.file("home/data/life/life.sav");
    EXPECT_EQ(said, data_world + "\n" + data_world + " save locked | the world is kept in " + data_world +
                        " (routine) saved\n no-save | no home folder is known: the world is not saved");
    std::vector<std::string> in_bin;
    for (const auto &e : std::filesystem::directory_iterator(bin))
        in_bin.push_back(e.path().filename().string());
    EXPECT_EQ(in_bin, std::vector<std::string>{"life.sav"});
}

TEST_F(world_claim, a_read_only_world_file_is_run_but_never_replaced)
{
    ASSERT_TRUE(save_world(world, world_path.c_str()));
    const std::string bytes = read_bytes(world_path);
    ASSERT_EQ(chmod(world_path.c_str(), 0444), 0);
    const auto [status, said] = as_ordinary_user(dir, [&] {
        world_place place = claim_world_place(program.c_str());
        fresh_world(*sim);
        const load_outcome loaded = load_world(*sim, place.path.c_str());
        world.time++;
        const bool saved = (bool)save_world(world, place);
        return described(place) + (loaded == load_ok ? " loaded" : " not loaded") + (saved ? " saved" : " not saved");
    });
    EXPECT_CHILD_RAN(status, said);
    EXPECT_EQ(said, world_path + " no-save locked | " + world_path +
                        " is read-only: the world runs from it but is not saved loaded not saved");
    // Root, whom no permission stops, respects it too.
    EXPECT_EQ(in_child([&] { return described(claim_world_place(program.c_str())); }).second,
              world_path + " no-save locked | " + world_path + " is read-only: the world runs from it but is not saved");
    EXPECT_TRUE(read_bytes(world_path) == bytes);
}

// A run as root in the user's folder leaves every file there the user's, so the user's next run saves.
TEST_F(world_claim, a_run_as_root_leaves_the_users_files_the_users)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "only root can run as root in another user's folder";
    const uid_t nobody_id = 65534;
    ASSERT_TRUE(save_world(world, world_path.c_str()));
    ASSERT_EQ(chmod(world_path.c_str(), 0640), 0);
    ASSERT_EQ(chown(bin.c_str(), nobody_id, nobody_id), 0);
    ASSERT_EQ(chown(world_path.c_str(), nobody_id, nobody_id), 0);
    world_place place = claim_world_place(program.c_str());
    ASSERT_TRUE(saved(save_world(world, place)));
    release_world_place(place);
    for (const char *name : {"life.sav", "life.sav.prev", "life.sav.lock"}) {
        struct stat st;
        ASSERT_EQ(stat(dir.file(std::string("bin/") + name).c_str(), &st), 0) << name;
        EXPECT_EQ(st.st_uid, nobody_id) << name;
        EXPECT_EQ(st.st_gid, nobody_id) << name;
        if (std::string(name) != "life.sav.lock") {
            EXPECT_EQ(st.st_mode & 0777, 0640u) << name;
        }
    }
    const auto [status, said] = as_ordinary_user(dir, [&] {
        world_place mine = claim_world_place(program.c_str());
        const save_result saved = save_world(world, mine);
        return described(mine) + (saved ? " saved" : std::string(" not saved: ") + saved.why);
    });
    EXPECT_CHILD_RAN(status, said);
    EXPECT_EQ(said, world_path + " save locked |  saved");
}

// A lock that cannot be used for another reason than another copy is said, and never puts a new
// world in the place of the one beside the program unnoticed; a link as the lock is never followed.
TEST_F(world_claim, a_lock_that_cannot_be_used_is_told_and_keeps_the_world)
{
    ASSERT_TRUE(save_world(world, world_path.c_str()));
    std::filesystem::create_directory(world_path + ".lock");
    const auto [status, said] = in_child([&] {
        setenv("XDG_DATA_HOME", dir.file("home/data").c_str(), 1);
        world_place beside = claim_world_place(program.c_str());
        std::string out = described(beside) + (beside.notice_is_routine ? " (routine)" : "") + "\n";
        std::filesystem::remove(world_path + ".lock");
        std::filesystem::remove(world_path);
        if (symlink("../nowhere/target", (world_path + ".lock").c_str()) != 0)
            return std::string("cannot make the link");
        world_place elsewhere = claim_world_place(program.c_str());
        return out + described(elsewhere) + (elsewhere.notice_is_routine ? " (routine)" : "");
    });
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << said;
    const std::string data_world = dir.file("home/data/life/life.sav");
    EXPECT_EQ(said, world_path + " no-save | cannot lock " + world_path + ".lock: " + strerror(EISDIR) +
                        ": the world runs from " + world_path + " but is not saved\n" + data_world +
                        " save locked | cannot lock " + world_path +
                        ".lock: it is a symbolic link: the world is kept in " + data_world);
    EXPECT_FALSE(std::filesystem::exists(dir.file("nowhere")));
}

TEST_F(world_claim, a_writable_world_file_in_a_read_only_folder_is_saved_in_place)
{
    ASSERT_TRUE(save_world(world, world_path.c_str()));
    ASSERT_EQ(chmod(bin.c_str(), 0555), 0);
    struct stat before;
    ASSERT_EQ(stat(world_path.c_str(), &before), 0);
    lived_world(*sim, 30, 40);
    const auto [status, said] = as_ordinary_user(dir, [&] {
        setenv("XDG_DATA_HOME", dir.file("home/data").c_str(), 1);
        world_place place = claim_world_place(program.c_str());
        save_result saved = save_world(world, place);
        if (saved)
            saved = save_world(world, place);
        // A second copy cannot share the file, nor make a new one beside it.
        world_place second = claim_world_place(program.c_str());
        return described(place) + (saved ? " saved" : std::string(" not saved: ") + saved.why) + "\n" +
               second.path;
    });
    EXPECT_CHILD_RAN(status, said);
    EXPECT_EQ(said, world_path + " save in-place locked |  saved\n" + dir.file("home/data/life/life.sav"));
    struct stat after;
    ASSERT_EQ(stat(world_path.c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_EQ((long)split_lines(read_bytes(world_path)).size(), save_file_lines(100, 75, 30));
    std::vector<std::string> in_bin;
    for (const auto &e : std::filesystem::directory_iterator(bin))
        in_bin.push_back(e.path().filename().string());
    EXPECT_EQ(in_bin, std::vector<std::string>{"life.sav"});

    // Torn (a kill in the middle of an in-place write), it cannot be moved aside: a copy goes to the
    // user's data folder, and the run saves over it again.
    const std::string torn = read_bytes(world_path).substr(0, 5000);
    write_bytes(world_path, torn);
    const auto [status2, said2] = as_ordinary_user(dir, [&] {
        setenv("XDG_DATA_HOME", dir.file("home/data").c_str(), 1);
        world_place place = claim_world_place(program.c_str());
        const load_outcome loaded = load_world(*sim, place.path.c_str());
        const std::string message = loaded.message;
        const bool saved = loaded == load_refused && !loaded.left_in_place && save_world(world, place);
        return message + (saved ? " | saved" : "");
    });
    EXPECT_CHILD_RAN(status2, said2);
    const std::string copy = dir.file("home/data/life/life.sav.bad");
    EXPECT_NE(said2.find("so it is kept as " + copy + " and this run saves over it"), std::string::npos) << said2;
    EXPECT_NE(said2.find(" | saved"), std::string::npos) << said2;
    EXPECT_TRUE(read_bytes(copy) == torn);
    EXPECT_EQ((long)split_lines(read_bytes(world_path)).size(), save_file_lines(100, 75, 30));
}
