// What the tests share: a scratch folder, whole files, snapshots of the world, and the save file's size.
#include "test_support.h"

#include "save_layout.h"
#include "simulation.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

scratch_folder::scratch_folder()
{
    std::string pattern = ::testing::TempDir() + "life-test-XXXXXX";
    if (mkdtemp(&pattern[0]))
        path = pattern;
    else
        ADD_FAILURE() << "cannot create a scratch folder";
}

scratch_folder::~scratch_folder()
{
    if (path.empty())
        return;
    // Tests make folders read-only; an ordinary user needs them writable again to remove them.
    std::error_code ec;
    std::filesystem::permissions(path, std::filesystem::perms::owner_all, ec);
    for (auto it = std::filesystem::recursive_directory_iterator(path, ec);
         !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec))
        if (it->is_directory(ec) && !it->is_symlink(ec))
            std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                         std::filesystem::perm_options::add, ec);
    std::filesystem::remove_all(path, ec);
}

std::vector<std::string> scratch_folder::names() const
{
    std::vector<std::string> out;
    for (const auto &e : std::filesystem::directory_iterator(path))
        out.push_back(e.path().filename().string());
    std::sort(out.begin(), out.end());
    return out;
}

bool file_exists(const std::string &path) { return std::filesystem::exists(path); }

std::string read_bytes(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

std::vector<std::string> read_lines(const std::string &path) { return split_lines(read_bytes(path)); }

void write_bytes(const std::string &path, const std::string &bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

std::vector<std::string> split_lines(const std::string &text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

std::string join_lines(const std::vector<std::string> &lines)
{
    std::string out;
    for (const auto &l : lines)
        out += l + "\n";
    return out;
}

std::unique_ptr<world_state> world_snapshot(const world_state &w) { return std::make_unique<world_state>(w); }

std::unique_ptr<world_state> world_snapshot(const simulation &s) { return world_snapshot(s.world); }

long save_file_lines(int field_width, int field_height, int population)
{
    return (long)save_file_items(field_width, field_height, population);
}

long save_file_creature_lines() { return save_file_lines(1, 1, 1) - save_file_lines(1, 1, 0); }
