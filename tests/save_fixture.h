// Shared set-up for the save file tests: real worlds to save, child processes, places to save to.
#pragma once

#include "cycle.h"
#include "reset.h"
#include "save_file.h"
#include "simulation.h"
#include "step.h"
#include "test_support.h"
#include "world.h"
#include "world_place.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>

// The world a new process starts with: fresh slots, then a reset at the default population.
inline void fresh_world(simulation &s)
{
    world_init(s.world);
    simulation_set_world(s, s.world); // new networks: nothing derived from the old ones may stay
    world_reset(s);
}

// A world that has lived a while: varied food, positions, energies, colours and ages.
inline void lived_world(simulation &s, int population, int steps)
{
    world_init(s.world);
    simulation_set_world(s, s.world);
    s.world.population = population;
    world_reset(s);
    for (int n = 1; n <= steps; n++) {
        sim_step(s);
        if (n % 50 == 0) {
            cycle_event(s);
            s.world.time++;
            for (int c = 0; c < s.world.population; c++)
                s.world.creatures[c].age += n / 50;
        }
    }
}

// Every save test's own simulation; `world` is its world.
struct save_test : ::testing::Test {
    std::unique_ptr<simulation> sim = simulation_new();
    world_state &world = sim->world;
};

// A load's outcome is checked against the result expected; a failing check prints its message too.
inline bool operator==(const load_outcome &got, load_result want) { return got.result == want; }
inline bool operator==(load_result want, const load_outcome &got) { return got.result == want; }
inline void PrintTo(const load_outcome &o, std::ostream *out)
{
    *out << (o.result == load_ok ? "load_ok" : o.result == load_missing ? "load_missing" : "load_refused") << " (\""
         << o.message << "\"" << (o.left_in_place ? ", left in place" : "") << ")";
}

// A save for EXPECT_TRUE: a failure shows why the world was not saved.
inline ::testing::AssertionResult saved(const save_result &r)
{
    if (r)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "not saved: " << r.why;
}

// Line numbers of the items in a save file of the given field size, counting from 0.
struct save_layout {
    int field_width, field_height;
    int population_line() const { return (int)save_file_lines(field_width, field_height, 0) - 1; }
    int creature_line(int c) const { return population_line() + 1 + c * (int)save_file_creature_lines(); }
};

// Runs `body` (returning a string) in a child process; gives its exit status and that string.
template <class body_fn>
std::pair<int, std::string> in_child(body_fn body)
{
    int out[2];
    if (pipe(out) != 0)
        return {-1, "pipe failed"};
    const pid_t pid = fork();
    if (pid == 0) {
        close(out[0]);
        const std::string said = body();
        const ssize_t written = write(out[1], said.data(), said.size());
        _exit(written == (ssize_t)said.size() ? 0 : 2);
    }
    close(out[1]);
    std::string said;
    char chunk[512];
    for (ssize_t n; (n = read(out[0], chunk, sizeof chunk)) > 0;)
        said.append(chunk, (size_t)n);
    close(out[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    return {status, said};
}

// Exit status of a child that could not give up root.
enum { cannot_drop_root = 77 };

// Runs `body` in a child process as an ordinary user, so permission checks bite even where the tests
// run as root: there the child hands the scratch folder (keeping every mode the test set) to "nobody"
// and becomes it.  Exits with cannot_drop_root when that is impossible.
template <class body_fn>
std::pair<int, std::string> as_ordinary_user(const scratch_folder &dir, body_fn body)
{
    return in_child([&]() -> std::string {
        if (geteuid() == 0) {
            const uid_t nobody = 65534;
            std::error_code ec;
            bool handed = lchown(dir.path.c_str(), nobody, nobody) == 0;
            for (auto it = std::filesystem::recursive_directory_iterator(dir.path, ec);
                 handed && !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec))
                handed = lchown(it->path().c_str(), nobody, nobody) == 0;
            if (!handed || setgroups(0, nullptr) != 0 || setgid(nobody) != 0 || setuid(nobody) != 0)
                _exit(cannot_drop_root);
        }
        return body();
    });
}

// Skips the test when the child could not become an ordinary user; otherwise expects a clean exit.
#define EXPECT_CHILD_RAN(status, said)                                                                      \
    do {                                                                                                     \
        if (WIFEXITED(status) && WEXITSTATUS(status) == cannot_drop_root)                                    \
            GTEST_SKIP() << "running as root and cannot become the user nobody: permission cases untestable"; \
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << (said);                                \
    } while (0)

// A place to save to as the program claims it, without the lock.
inline world_place place_at(const std::string &path, bool in_place = false)
{
    world_place place;
    place.path = path;
    place.can_save = true;
    place.in_place = in_place;
    return place;
}

// Loads `path` over a new world in a child and says whether it was refused; for cases that could hang.
inline std::string refused_within_a_second(const std::string &path)
{
    const auto [status, said] = in_child([&] {
        alarm(1); // a hang ends the child with SIGALRM
        const auto sim = simulation_new();
        fresh_world(*sim);
        const load_outcome r = load_world(*sim, path.c_str());
        return std::string(r.result == load_refused ? "refused: " : "not refused: ") + r.message +
               (r.left_in_place ? " [left in place]" : "");
    });
    if (WIFSIGNALED(status))
        return "killed by signal " + std::to_string(WTERMSIG(status)) + " (hung?)";
    return said;
}
