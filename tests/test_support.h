// What the tests share: a scratch folder, whole files, snapshots of the world, and the save file's size.
#pragma once

#include "world.h"

#include <memory>
#include <string>
#include <vector>

// A folder of its own for one test, removed with everything in it afterwards (read-only parts included).
struct scratch_folder {
    std::string path; // empty when the folder could not be made (the test has then failed)
    scratch_folder();
    ~scratch_folder();
    scratch_folder(const scratch_folder &) = delete;
    scratch_folder &operator=(const scratch_folder &) = delete;
    std::string file(const std::string &name) const { return path + "/" + name; }
    // Names of everything in the folder, sorted.
    std::vector<std::string> names() const;
};

bool file_exists(const std::string &path);
// The whole file, byte for byte; empty when it cannot be read.
std::string read_bytes(const std::string &path);
// Its lines, without their ends.
std::vector<std::string> read_lines(const std::string &path);
void write_bytes(const std::string &path, const std::string &bytes);
std::vector<std::string> split_lines(const std::string &text);
std::string join_lines(const std::vector<std::string> &lines);

struct simulation;

// A copy of a world, or of a simulation's, on the heap (a world is too large for the stack).
std::unique_ptr<world_state> world_snapshot(const world_state &w);
std::unique_ptr<world_state> world_snapshot(const simulation &s);

// Lines of a save file with this field size and population, and of one creature in it, counted
// by walking the file's layout.
long save_file_lines(int field_width, int field_height, int population);
long save_file_creature_lines();
