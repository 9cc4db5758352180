// A save killed at any moment leaves either the old or the new complete file, never a broken one,
// the previous world in ".prev" whole, and counters that belong to the world file or none at all.
#include "save_fixture.h"

#include "file_system.h"

#include <chrono>
#include <csignal>
#include <random>

#include <sys/wait.h>
#include <unistd.h>

TEST(save_crash, a_save_killed_at_any_moment_leaves_the_old_or_the_new_file)
{
    scratch_folder dir;
    const std::string path = dir.file("life.sav");
    const world_place place = place_at(path);
    const auto sim = simulation_new();
    world_state &world = sim->world;

    // Two different worlds, A and B, and the exact files each one saves to.
    std::unique_ptr<world_state> worlds[2];
    std::string bytes[2];
    world_life lives[2];
    lived_world(*sim, 50, 60);
    worlds[0] = world_snapshot(world);
    lives[0] = sim->life;
    lived_world(*sim, 40, 90);
    worlds[1] = world_snapshot(world);
    lives[1] = sim->life;
    ASSERT_FALSE(life_equal(lives[0], lives[1]));
    for (int w = 0; w < 2; w++) {
        simulation_set_world(*sim, *worlds[w]);
        ASSERT_TRUE(save_world(world, path.c_str()));
        bytes[w] = read_bytes(path);
    }
    ASSERT_NE(bytes[0], bytes[1]);

    // How long one whole save takes here, so the kills land before, inside and after it.
    const auto start = std::chrono::steady_clock::now();
    for (int n = 0; n < 4; n++)
        ASSERT_TRUE(save_world(world, place));
    const long save_us =
        (long)std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start).count() / 4;

    std::mt19937 random(12345);
    const auto probe = simulation_new();
    int counters_lost = 0;
    std::uniform_int_distribution<long> moment(0, save_us * 3 + 200);
    int current = 1; // the file holds B now
    int kept_old = 0, got_new = 0;
    for (int round = 0; round < 300; round++) {
        const int next = 1 - current;
        simulation_set_world(*sim, *worlds[next]);
        const pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            save_world(world, place, &lives[next]);
            // Hold on until killed, so every round ends by SIGKILL.
            for (;;)
                pause();
        }
        usleep((useconds_t)moment(random));
        kill(pid, SIGKILL);
        int status = 0;
        waitpid(pid, &status, 0);
        ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);

        const std::string now = read_bytes(path);
        ASSERT_TRUE(now == bytes[current] || now == bytes[next])
            << "round " << round << ": the save file is neither the old nor the new one (" << now.size() << " bytes)";
        if (now == bytes[next]) {
            got_new++;
            current = next;
        } else {
            kept_old++;
        }
        if (file_exists(path + ".prev")) {
            const std::string prev = read_bytes(path + ".prev");
            ASSERT_TRUE(prev == bytes[0] || prev == bytes[1]) << "round " << round << ": .prev is broken";
        }
        // The counters read back are the world file's own, or start again at zero (a kill between
        // the two renames): never the other world's.
        const load_outcome loaded = load_world(*probe, path.c_str(), false);
        ASSERT_EQ(loaded.result, load_ok);
        if (loaded.life_restarted)
            counters_lost++;
        else
            ASSERT_TRUE(life_equal(probe->life, lives[current])) << "round " << round << ": another world's counters";
        // A killed save may leave its temporary (or its second name of the old file) beside it; nothing else may appear.
        for (const std::string &name : dir.names()) {
            if (name == "life.sav" || name == "life.sav.prev" || name == "life.sav.stats")
                continue;
            ASSERT_EQ(name.rfind(".life.sav.", 0), 0u) << name;
            const std::string tail = name.substr(name.size() - 4);
            ASSERT_TRUE(tail == ".tmp" || tail == ".old") << name;
        }
    }
    // The next good save clears away what the killed ones left, and nothing else: a user's backups
    // named like temporaries of old, and another user's file, stay.
    const std::vector<std::string> kept = {".life.sav.1-1.tmp", "life.sav.123456789.tmp", "life.sav.20240101.old"};
    for (const std::string &name : kept)
        write_bytes(dir.file(name), "the user's own");
    ASSERT_EQ(chown(dir.file(kept[0]).c_str(), 65534, 65534), 0);
    // Leftovers are only ever cleared by a save that holds the world's lock, as the program's do.
    world_place locked = place;
    ASSERT_EQ(fs_lock(path + ".lock", true, path, &locked.lock_fd), 0);
    simulation_set_world(*sim, *worlds[current]);
    ASSERT_TRUE(save_world(world, locked, &lives[current]));
    fs_unlock(locked.lock_fd);
    EXPECT_EQ(dir.names(), (std::vector<std::string>{kept[0], "life.sav", kept[1], kept[2], "life.sav.lock",
                                                     "life.sav.prev", "life.sav.stats"}));
    for (const std::string &name : kept)
        EXPECT_EQ(read_bytes(dir.file(name)), "the user's own") << name;
    EXPECT_TRUE(read_bytes(path + ".prev") == bytes[current]);
    // The file that survived still loads.
    fresh_world(*sim);
    EXPECT_EQ(load_world(*sim, path.c_str()), load_ok);
    simulation_set_world(*sim, *worlds[current]);
    std::cout << "one save takes about " << save_us << " us; of 300 killed saves " << kept_old
              << " left the old file and " << got_new << " the new one; " << counters_lost
              << " left counters that belonged to neither\n";
    EXPECT_LT(counters_lost, 30);
}
