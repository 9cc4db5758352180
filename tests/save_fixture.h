// Shared set-up for the save file tests: scratch folders, file bytes, and real worlds to save.
#pragma once

#include "cycle.h"
#include "reset.h"
#include "save_file.h"
#include "step.h"
#include "world.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

// A folder of its own for one test, removed with everything in it afterwards.
struct scratch_folder {
    std::string path;
    scratch_folder()
    {
        std::string pattern = ::testing::TempDir() + "life-save-XXXXXX";
        if (!mkdtemp(&pattern[0]))
            ADD_FAILURE() << "cannot create a scratch folder";
        path = pattern;
    }
    ~scratch_folder()
    {
        std::error_code ec;
        std::filesystem::permissions(path, std::filesystem::perms::owner_all, ec);
        std::filesystem::remove_all(path, ec);
    }
    std::string file(const std::string &name) const { return path + "/" + name; }
    // Names of everything in the folder, sorted.
    std::vector<std::string> names() const
    {
        std::vector<std::string> out;
        for (const auto &e : std::filesystem::directory_iterator(path))
            out.push_back(e.path().filename().string());
        std::sort(out.begin(), out.end());
        return out;
    }
};

inline bool file_exists(const std::string &path) { return std::filesystem::exists(path); }

inline std::string read_bytes(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

inline void write_bytes(const std::string &path, const std::string &bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

inline std::vector<std::string> split_lines(const std::string &text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

inline std::string join_lines(const std::vector<std::string> &lines)
{
    std::string out;
    for (const auto &l : lines)
        out += l + "\n";
    return out;
}

// The world a new process starts with: fresh slots, then a reset at the default population.
inline void fresh_world()
{
    world_init(world);
    world_reset();
}

// A world that has lived a while: varied food, positions, energies, colours and ages.
inline void lived_world(int population, int steps)
{
    world_init(world);
    world.population = population;
    world_reset();
    for (int s = 1; s <= steps; s++) {
        sim_step();
        if (s % 50 == 0) {
            cycle_event();
            world.time++;
            for (int c = 0; c < world.population; c++)
                world.creatures[c].age += s / 50;
        }
    }
}

// Line numbers of the items in a save file of the given field size.
struct save_layout {
    int field_width, field_height;
    static constexpr int creature_lines = 1703;
    int population_line() const { return 5 + 2 * field_width * field_height; }
    int creature_line(int c) const { return population_line() + 1 + c * creature_lines; }
};
