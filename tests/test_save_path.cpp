// Where the save file goes: named after the program, beside it, whatever the folder names hold.
#include "save_path.h"

#include <gtest/gtest.h>

#include <string>

#include <unistd.h>

static std::string own_executable()
{
    char buffer[4096];
    const ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer);
    return n > 0 ? std::string(buffer, (size_t)n) : std::string();
}

TEST(save_path, the_extension_of_the_file_name_becomes_sav)
{
    EXPECT_EQ(save_path_from("/usr/games/life.exe"), "/usr/games/life.sav");
    EXPECT_EQ(save_path_from("./life.bin"), "./life.sav");
    EXPECT_EQ(save_path_from("/opt/life.tar.gz"), "/opt/life.tar.sav");
    EXPECT_EQ(save_path_from("build/life."), "build/life.sav");
}

TEST(save_path, a_screen_saver_name_in_any_case_keeps_its_world_in_sav)
{
    EXPECT_EQ(save_path_from("/mnt/c/Windows/life.SCR"), "/mnt/c/Windows/life.sav");
    EXPECT_EQ(save_path_from("/mnt/c/Windows/life.scr"), "/mnt/c/Windows/life.sav");
}

TEST(save_path, a_dot_in_a_folder_name_is_not_an_extension)
{
    EXPECT_EQ(save_path_from("/home/ann/games.d/life"), "/home/ann/games.d/life.sav");
    EXPECT_EQ(save_path_from("./v1.2/bin/life"), "./v1.2/bin/life.sav");
    EXPECT_EQ(save_path_from("../life"), "../life.sav");
    EXPECT_EQ(save_path_from("/srv/x.y/life.run"), "/srv/x.y/life.sav");
}

TEST(save_path, a_file_name_without_a_dot_gets_sav_added)
{
    EXPECT_EQ(save_path_from("/usr/local/bin/life"), "/usr/local/bin/life.sav");
    EXPECT_EQ(save_path_from("/usr/local/bin/.life"), "/usr/local/bin/.life.sav"); // hidden, no extension
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
