// The save file: exact round trips, the reading rules, refusing untrustworthy files, and failing saves.
#include "save_fixture.h"

#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <locale.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

static std::string six(float v)
{
    char text[80];
    snprintf(text, sizeof text, "%f", (double)v);
    return text;
}

// Saves the current world to a file in the folder and returns its bytes.
static std::string saved_bytes(const scratch_folder &dir, const std::string &name)
{
    const std::string path = dir.file(name);
    EXPECT_TRUE(save_world(path.c_str())) << persist_error();
    return read_bytes(path);
}

// ---------------------------------------------------------------- round trips

TEST(save_round_trip, save_load_save_gives_identical_bytes)
{
    scratch_folder dir;
    lived_world(50, 300);
    const std::string first = saved_bytes(dir, "a.sav");
    EXPECT_EQ(split_lines(first).size(), 100156u);

    fresh_world();
    ASSERT_EQ(load_world(dir.file("a.sav").c_str()), load_ok) << persist_error();
    EXPECT_EQ(saved_bytes(dir, "b.sav"), first);
}

TEST(save_round_trip, stored_values_come_back_to_six_decimals_and_counts_exactly)
{
    scratch_folder dir;
    lived_world(50, 400);
    world.steps_this_second = 1234;
    world.time = 98765;
    world.display_on = 0;
    static world_state before;
    before = world;
    const std::string path = dir.file("life.sav");
    ASSERT_TRUE(save_world(path.c_str())) << persist_error();

    fresh_world();
    static world_state reset;
    reset = world;
    ASSERT_EQ(load_world(path.c_str()), load_ok);

    EXPECT_EQ(world.steps_this_second, 1234);
    EXPECT_EQ(world.time, 98765);
    EXPECT_EQ(world.display_on, 0);
    EXPECT_EQ(world.field_width, before.field_width);
    EXPECT_EQ(world.field_height, before.field_height);
    EXPECT_EQ(world.population, before.population);
    int mismatches = 0;
    for (int i = 0; i < world.field_width; i++)
        for (int j = 0; j < world.field_height; j++) {
            const int idx = cell_index(i, j);
            mismatches += six(world.cell_food[idx]) != six(before.cell_food[idx]);
            mismatches += six(world.cell_rate[idx]) != six(before.cell_rate[idx]);
        }
    for (int c = 0; c < world.population; c++) {
        const creature &got = world.creatures[c], &want = before.creatures[c];
        EXPECT_EQ(got.age, want.age) << "slot " << c;
        EXPECT_EQ(got.color, want.color) << "slot " << c;
        mismatches += six(got.x) != six(want.x);
        mismatches += six(got.y) != six(want.y);
        mismatches += six(got.angle) != six(want.angle);
        mismatches += six(got.speed) != six(want.speed);
        mismatches += six(got.resources) != six(want.resources);
        mismatches += six(got.eaten) != six(want.eaten);
        for (int l = 1; l < layer_count; l++)
            for (int n = 0; n < layer_sizes[l]; n++) {
                const neuron &g = got.neurons[l][n], &w = want.neurons[l][n];
                EXPECT_EQ(g.tag, w.tag);
                mismatches += six(g.bias) != six(w.bias);
                mismatches += six(g.output) != six(w.output);
                for (int k = 0; k < layer_sizes[l - 1]; k++)
                    mismatches += six(g.weight[k]) != six(w.weight[k]);
            }
        // What the file does not hold stays as the reset made it.
        EXPECT_EQ(0, memcmp(got.neurons[0], reset.creatures[c].neurons[0], sizeof got.neurons[0]));
        EXPECT_EQ(0, memcmp(got.sense_food, reset.creatures[c].sense_food, sizeof got.sense_food));
        EXPECT_EQ(got.neurons[3][0].weight[20], reset.creatures[c].neurons[3][0].weight[20]);
        EXPECT_EQ(got.neurons[4][0].weight[15], reset.creatures[c].neurons[4][0].weight[15]);
    }
    EXPECT_EQ(mismatches, 0);
    EXPECT_EQ(0, memcmp(world.cell_x_px, reset.cell_x_px, sizeof world.cell_x_px));
    EXPECT_EQ(world.rng_state, reset.rng_state);
    EXPECT_EQ(world.best_index, reset.best_index);
    EXPECT_EQ(world.text_x, reset.text_x);
    EXPECT_EQ(world.cycle_counter, reset.cycle_counter);
}

TEST(save_round_trip, writes_the_documented_text)
{
    scratch_folder dir;
    fresh_world();
    world.steps_this_second = 7;
    world.time = -3;
    world.creatures[0].x = 4.5f;
    world.creatures[0].color = 0x10ff20;
    world.creatures[0].neurons[1][0].tag = 1;
    world.creatures[0].neurons[1][0].bias = -0.1f;
    const std::vector<std::string> lines = split_lines(saved_bytes(dir, "life.sav"));
    const save_layout at{100, 75};
    ASSERT_EQ(lines.size(), 100156u);
    EXPECT_EQ(lines[0], "7");
    EXPECT_EQ(lines[1], "-3");
    EXPECT_EQ(lines[2], "1");
    EXPECT_EQ(lines[3], "100");
    EXPECT_EQ(lines[4], "75");
    EXPECT_EQ(lines[5], "-2.000000"); // the corner cell is border
    EXPECT_EQ(lines[6], "0.000000");
    EXPECT_EQ(lines[at.population_line()], "50");
    const int c0 = at.creature_line(0);
    EXPECT_EQ(lines[c0 + 1], "4.500000");
    EXPECT_EQ(lines[c0 + 7], std::to_string(0x10ff20)); // colour last in the header
    EXPECT_EQ(lines[c0 + 8], "1");
    EXPECT_EQ(lines[c0 + 9], "-0.100000");
    EXPECT_EQ(lines[c0 + 10], "0.000000");
}

TEST(save_round_trip, population_ten_leaves_slots_ten_to_49_as_the_reset_made_them)
{
    scratch_folder dir;
    lived_world(10, 300);
    static world_state before;
    before = world;
    const std::string path = dir.file("life.sav");
    ASSERT_TRUE(save_world(path.c_str()));
    EXPECT_EQ(split_lines(read_bytes(path)).size(), 5u + 15000u + 1u + 10u * 1703u);

    fresh_world();
    static world_state reset;
    reset = world;
    ASSERT_EQ(load_world(path.c_str()), load_ok);
    EXPECT_EQ(world.population, 10);
    for (int c = 0; c < 10; c++) {
        EXPECT_EQ(six(world.creatures[c].resources), six(before.creatures[c].resources));
        EXPECT_EQ(world.creatures[c].color, before.creatures[c].color);
    }
    for (int c = 10; c < creature_slots; c++)
        EXPECT_EQ(0, memcmp(&world.creatures[c], &reset.creatures[c], sizeof(creature))) << "slot " << c;
}

TEST(save_round_trip, a_smaller_field_keeps_its_size_and_the_cells_beyond_it)
{
    scratch_folder dir;
    lived_world(20, 100);
    world.field_width = 30;
    world.field_height = 20;
    for (int c = 0; c < world.population; c++) {
        world.creatures[c].x = std::fmod(world.creatures[c].x, 29.0f) + 0.25f;
        world.creatures[c].y = std::fmod(world.creatures[c].y, 19.0f) + 0.25f;
    }
    const std::string path = dir.file("life.sav");
    ASSERT_TRUE(save_world(path.c_str()));
    EXPECT_EQ(split_lines(read_bytes(path)).size(), 5u + 2u * 600u + 1u + 20u * 1703u);

    fresh_world();
    static world_state reset;
    reset = world;
    ASSERT_EQ(load_world(path.c_str()), load_ok) << persist_error();
    EXPECT_EQ(world.field_width, 30);
    EXPECT_EQ(world.field_height, 20);
    EXPECT_EQ(world.cell_food[cell_index(50, 50)], reset.cell_food[cell_index(50, 50)]);
    EXPECT_EQ(world.cell_rate[cell_index(29, 20)], reset.cell_rate[cell_index(29, 20)]);
    for (int s = 0; s < 50; s++)
        sim_step();
    EXPECT_EQ(world.field_width, 30);
}

TEST(save_round_trip, values_that_cannot_harm_are_taken_as_written_even_nan_and_inf)
{
    scratch_folder dir;
    fresh_world();
    world.creatures[3].neurons[2][4].weight[7] = NAN;
    world.creatures[3].angle = INFINITY;
    world.creatures[4].speed = NAN;
    world.creatures[5].resources = -INFINITY;
    world.cell_food[cell_index(10, 10)] = NAN;
    const std::string path = dir.file("life.sav");
    ASSERT_TRUE(save_world(path.c_str()));
    const std::string bytes = read_bytes(path);
    EXPECT_NE(bytes.find("\nnan\n"), std::string::npos);
    EXPECT_NE(bytes.find("\ninf\n"), std::string::npos);
    EXPECT_NE(bytes.find("\n-inf\n"), std::string::npos);

    fresh_world();
    ASSERT_EQ(load_world(path.c_str()), load_ok) << persist_error();
    EXPECT_TRUE(std::isnan(world.creatures[3].neurons[2][4].weight[7]));
    EXPECT_EQ(world.creatures[3].angle, INFINITY);
    EXPECT_TRUE(std::isnan(world.creatures[4].speed));
    EXPECT_EQ(world.creatures[5].resources, -INFINITY);
    EXPECT_TRUE(std::isnan(world.cell_food[cell_index(10, 10)]));
    for (int s = 0; s < 20; s++) // and the world goes on
        sim_step();
}

// A locale with a decimal comma, built from the system's locale sources into a scratch folder.
static bool use_decimal_comma_locale(const scratch_folder &dir)
{
    const std::string command = "localedef -i de_DE -f UTF-8 " + dir.file("de_DE.UTF-8") + " >/dev/null 2>&1";
    if (system(command.c_str()) != 0 && !file_exists(dir.file("de_DE.UTF-8/LC_NUMERIC")))
        return false;
    setenv("LOCPATH", dir.path.c_str(), 1);
    if (!setlocale(LC_ALL, "de_DE.UTF-8"))
        return false;
    char text[16];
    snprintf(text, sizeof text, "%.1f", 0.5);
    return std::string(text) == "0,5";
}

TEST(save_round_trip, numbers_use_a_decimal_point_whatever_the_locale)
{
    scratch_folder dir;
    lived_world(50, 100);
    const std::string expected = saved_bytes(dir, "c-locale.sav");
    if (!use_decimal_comma_locale(dir)) {
        setlocale(LC_ALL, "C");
        GTEST_SKIP() << "no locale with a decimal comma can be built here (localedef, de_DE)";
    }
    const std::string path = dir.file("comma.sav");
    const bool saved = save_world(path.c_str());
    fresh_world();
    const load_result loaded = load_world(path.c_str());
    setlocale(LC_ALL, "C");
    unsetenv("LOCPATH");
    ASSERT_TRUE(saved);
    EXPECT_EQ(read_bytes(path), expected);
    ASSERT_EQ(loaded, load_ok);
    EXPECT_EQ(saved_bytes(dir, "again.sav"), expected);
}

// ---------------------------------------------------------------- reading rules

struct save_reading : ::testing::Test {
    scratch_folder dir;
    std::string path = dir.file("life.sav");
    std::vector<std::string> lines;
    save_layout at{100, 75};
    void SetUp() override
    {
        lived_world(50, 200);
        ASSERT_TRUE(save_world(path.c_str()));
        lines = split_lines(read_bytes(path));
        fresh_world();
    }
};

TEST_F(save_reading, an_unreadable_token_keeps_that_item_and_all_later_ones)
{
    const int c2 = at.creature_line(2);
    const std::string x2 = lines[c2 + 1];
    lines[c2 + 3] = "1,5"; // creature 2's angle
    write_bytes(path, join_lines(lines));
    static world_state reset;
    reset = world;
    ASSERT_EQ(load_world(path.c_str()), load_ok);
    EXPECT_EQ(six(world.creatures[2].x), x2);
    EXPECT_EQ(six(world.creatures[1].neurons[4][4].weight[14]), lines[c2 - 1]);
    EXPECT_EQ(world.creatures[2].angle, reset.creatures[2].angle);
    EXPECT_EQ(world.creatures[2].resources, reset.creatures[2].resources);
    EXPECT_EQ(world.creatures[2].color, reset.creatures[2].color);
    for (int c = 3; c < creature_slots; c++)
        EXPECT_EQ(0, memcmp(&world.creatures[c], &reset.creatures[c], sizeof(creature))) << "slot " << c;
}

TEST_F(save_reading, numbers_must_fill_their_whole_token_and_fit_their_type)
{
    const char *bad_ints[] = {"2147483648", "-2147483649", "99999999999999999999", "3.5", "12abc", "0x10", "+"};
    for (const char *token : bad_ints) {
        std::vector<std::string> edited = lines;
        edited[at.creature_line(1)] = token; // creature 1's age
        write_bytes(path, join_lines(edited));
        fresh_world();
        static world_state reset;
        reset = world;
        ASSERT_EQ(load_world(path.c_str()), load_ok) << token;
        EXPECT_EQ(six(world.creatures[0].eaten), lines[at.creature_line(0) + 6]) << token;
        EXPECT_EQ(0, memcmp(&world.creatures[1], &reset.creatures[1], sizeof(creature))) << token;
    }
    static const std::string long_token(100, '1');
    const char *bad_reals[] = {"1e39", "-1e40", "1.5x", "--1", ".", long_token.c_str()};
    for (const char *token : bad_reals) {
        std::vector<std::string> edited = lines;
        edited[at.creature_line(1) + 5] = token; // creature 1's resources
        write_bytes(path, join_lines(edited));
        fresh_world();
        static world_state reset;
        reset = world;
        ASSERT_EQ(load_world(path.c_str()), load_ok) << token;
        EXPECT_EQ(six(world.creatures[1].speed), lines[at.creature_line(1) + 4]) << token;
        EXPECT_EQ(world.creatures[1].resources, reset.creatures[1].resources) << token;
    }
    // Extremes that are numbers are read.
    std::vector<std::string> edited = lines;
    edited[at.creature_line(1)] = "-2147483648";
    edited[at.creature_line(1) + 5] = "1e-40";
    edited[at.creature_line(1) + 6] = "+340282346638528859811704183484516925440.000000";
    write_bytes(path, join_lines(edited));
    fresh_world();
    ASSERT_EQ(load_world(path.c_str()), load_ok);
    EXPECT_EQ(world.creatures[1].age, INT32_MIN);
    EXPECT_EQ(world.creatures[1].resources, 1e-40f);
    EXPECT_EQ(world.creatures[1].eaten, 3.40282346638528859811704183484516925440e38f);
}

TEST_F(save_reading, a_truncated_file_keeps_everything_after_its_end)
{
    const int cut = at.creature_line(3) + 500;
    std::vector<std::string> head(lines.begin(), lines.begin() + cut);
    std::string bytes = join_lines(head);
    bytes += "0.12"; // the last number itself cut short, without its newline
    write_bytes(path, bytes);
    static world_state reset;
    reset = world;
    ASSERT_EQ(load_world(path.c_str()), load_ok);
    EXPECT_EQ(std::to_string(world.creatures[2].age), lines[at.creature_line(2)]);
    EXPECT_EQ(world.creatures[3].color, std::stoi(lines[at.creature_line(3) + 7]));
    for (int c = 4; c < creature_slots; c++)
        EXPECT_EQ(0, memcmp(&world.creatures[c], &reset.creatures[c], sizeof(creature))) << "slot " << c;
}

TEST_F(save_reading, any_whitespace_separates_numbers)
{
    std::string spaced;
    for (size_t n = 0; n < lines.size(); n++)
        spaced += lines[n] + (n % 3 == 0 ? " " : n % 3 == 1 ? "\r\n\t" : "\n\n  ");
    write_bytes(path, spaced);
    ASSERT_EQ(load_world(path.c_str()), load_ok);
    EXPECT_EQ(split_lines(saved_bytes(dir, "again.sav")), lines);
}

TEST_F(save_reading, a_missing_file_is_silent_and_changes_nothing)
{
    static world_state reset;
    reset = world;
    EXPECT_EQ(load_world(dir.file("nothing-here.sav").c_str()), load_missing);
    EXPECT_TRUE(world_equal(world, reset));
    EXPECT_FALSE(file_exists(dir.file("nothing-here.sav.bad")));
}

// ---------------------------------------------------------------- refusing untrustworthy files

struct save_refusal : save_reading {
    // Loads the given bytes over a new world and checks that the file is refused, kept, explained
    // by a message containing `reason`, and that the world is still the new world.
    void expect_refused(const std::string &bytes, const std::string &reason)
    {
        write_bytes(path, bytes);
        fresh_world();
        static world_state reset;
        reset = world;
        EXPECT_EQ(load_world(path.c_str()), load_refused);
        EXPECT_TRUE(world_equal(world, reset)) << "a refused file changed the world";
        EXPECT_FALSE(file_exists(path));
        EXPECT_EQ(read_bytes(path + ".bad"), bytes) << "the refused file was not kept as it was";
        const std::string message = persist_error();
        EXPECT_NE(message.find(reason), std::string::npos) << message;
        EXPECT_NE(message.find("kept as " + path + ".bad"), std::string::npos) << message;
        EXPECT_EQ(message.find('\n'), std::string::npos) << message;
        for (int s = 0; s < 3; s++) // the new world runs
            sim_step();
    }
    std::string with_line(int line, const std::string &value)
    {
        std::vector<std::string> edited = lines;
        edited[line] = value;
        return join_lines(edited);
    }
};

TEST_F(save_refusal, field_sizes_outside_the_arrays)
{
    expect_refused(with_line(3, "101"), "field width 101 is outside 1..100");
    expect_refused(with_line(3, "0"), "field width 0");
    expect_refused(with_line(4, "0"), "field height 0 is outside 1..75");
    expect_refused(with_line(4, "76"), "field height 76");
    expect_refused(with_line(4, "-2147483648"), "field height -2147483648");
}

TEST_F(save_refusal, populations_outside_two_to_fifty)
{
    expect_refused(with_line(at.population_line(), "1"), "population 1 is outside 2..50");
    expect_refused(with_line(at.population_line(), "51"), "population 51");
    expect_refused(with_line(at.population_line(), "2147483647"), "population 2147483647");
    expect_refused(with_line(at.population_line(), "-5"), "population -5");
}

TEST_F(save_refusal, creatures_outside_the_field)
{
    const int x7 = at.creature_line(7) + 1;
    expect_refused(with_line(x7, "1e30"), "creature 7 stands at (1e+30,");
    expect_refused(with_line(x7, "-3"), "creature 7 stands at (-3,");
    expect_refused(with_line(x7, "nan"), "creature 7 stands at (nan,");
    expect_refused(with_line(x7, "-inf"), "creature 7 stands at (-inf,");
    expect_refused(with_line(x7, "100.0"), "outside the 100 x 75 field");
    expect_refused(with_line(at.creature_line(49) + 2, "75"), "creature 49 stands at");
}

TEST_F(save_refusal, creatures_the_file_never_reached_must_fit_the_smaller_field)
{
    // A 10 x 10 field whose file ends after two creatures: the other live slots keep the new
    // world's positions, which lie outside it.
    lived_world(50, 0);
    world.field_width = 10;
    world.field_height = 10;
    for (int c = 0; c < world.population; c++)
        world.creatures[c].x = world.creatures[c].y = 5.5f;
    ASSERT_TRUE(save_world(path.c_str()));
    const std::vector<std::string> small = split_lines(read_bytes(path));
    const save_layout small_at{10, 10};
    std::vector<std::string> head(small.begin(), small.begin() + small_at.creature_line(2));
    fresh_world();
    expect_refused(join_lines(head), "outside the 10 x 10 field");
}

TEST_F(save_refusal, files_without_a_readable_header)
{
    expect_refused("", "does not start with the five numbers of a save file");
    expect_refused("Dear diary,\ntoday the creatures ate well.\n", "does not start with the five numbers");
    expect_refused("1\n2\n1\n", "does not start with the five numbers");
    expect_refused(with_line(3, "99999999999"), "does not start with the five numbers");
    expect_refused(std::string("\0\0\0\x7f" "ELF", 7), "does not start with the five numbers");
}

TEST_F(save_refusal, a_newer_refused_file_replaces_an_older_one)
{
    write_bytes(path + ".bad", "an older refused file\n");
    expect_refused(with_line(3, "500"), "field width 500");
}

TEST_F(save_refusal, a_folder_where_the_file_should_be_is_kept_aside)
{
    std::filesystem::remove(path);
    std::filesystem::create_directory(path);
    write_bytes(path + "/inside", "x");
    fresh_world();
    static world_state reset;
    reset = world;
    EXPECT_EQ(load_world(path.c_str()), load_refused);
    EXPECT_TRUE(world_equal(world, reset));
    EXPECT_EQ(read_bytes(path + ".bad/inside"), "x");
    EXPECT_NE(std::string(persist_error()).find("Is a directory"), std::string::npos) << persist_error();
}

// ---------------------------------------------------------------- failing saves

// Runs `body` in a child process and returns its exit status and what it wrote to the pipe.
template <class body_fn>
static std::pair<int, std::string> in_child(body_fn body)
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

struct save_failure : ::testing::Test {
    scratch_folder dir;
    std::string path = dir.file("life.sav");
    std::string old_bytes;
    void SetUp() override
    {
        lived_world(50, 50);
        ASSERT_TRUE(save_world(path.c_str()));
        old_bytes = read_bytes(path);
        lived_world(30, 120); // a different world to try to save over it
    }
    // The earlier file is whole and nothing else was left in the folder.
    void expect_old_file_untouched()
    {
        EXPECT_EQ(read_bytes(path), old_bytes);
        EXPECT_EQ(dir.names(), std::vector<std::string>{"life.sav"});
    }
};

TEST_F(save_failure, a_read_only_folder_leaves_the_old_file_and_says_why)
{
    // Root ignores folder permissions, so the saving child gives root up for "nobody" first.
    ASSERT_EQ(chmod(dir.path.c_str(), 0555), 0);
    const auto [status, said] = in_child([&] {
        if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0))
            return std::string("cannot become nobody");
        const bool saved = save_world(path.c_str());
        return std::string(saved ? "saved" : "failed: ") + persist_error();
    });
    chmod(dir.path.c_str(), 0755);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << said;
    EXPECT_EQ(said.rfind("failed: ", 0), 0u) << said;
    EXPECT_NE(said.find(path), std::string::npos) << said;
    EXPECT_NE(said.find("Permission denied"), std::string::npos) << said;
    EXPECT_NE(said.find("previous save file is untouched"), std::string::npos) << said;
    EXPECT_EQ(said.find('\n'), std::string::npos) << said;
    expect_old_file_untouched();
}

TEST_F(save_failure, a_write_error_part_way_leaves_the_old_file_and_no_temporary)
{
    // A file size limit makes the writes fail part way through, like a full disk.
    const auto [status, said] = in_child([&] {
        signal(SIGXFSZ, SIG_IGN);
        struct rlimit limit = {100000, 100000};
        setrlimit(RLIMIT_FSIZE, &limit);
        const bool saved = save_world(path.c_str());
        return std::string(saved ? "saved" : "failed: ") + persist_error();
    });
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << said;
    EXPECT_EQ(said.rfind("failed: ", 0), 0u) << said;
    EXPECT_NE(said.find(path), std::string::npos) << said;
    EXPECT_NE(said.find(strerror(EFBIG)), std::string::npos) << said;
    expect_old_file_untouched();
}

TEST_F(save_failure, a_save_into_a_missing_folder_fails_cleanly)
{
    const std::string nowhere = dir.file("gone/life.sav");
    EXPECT_FALSE(save_world(nowhere.c_str()));
    const std::string message = persist_error();
    EXPECT_NE(message.find(nowhere), std::string::npos) << message;
    EXPECT_NE(message.find(strerror(ENOENT)), std::string::npos) << message;
    expect_old_file_untouched();
}

TEST_F(save_failure, a_world_whose_counts_leave_the_arrays_is_not_written)
{
    world.population = 51;
    EXPECT_FALSE(save_world(path.c_str()));
    EXPECT_NE(std::string(persist_error()).find("population (51) is out of range"), std::string::npos)
        << persist_error();
    world.population = 30;
    world.field_width = 101;
    EXPECT_FALSE(save_world(path.c_str()));
    EXPECT_NE(std::string(persist_error()).find("field (101 x 75)"), std::string::npos) << persist_error();
    expect_old_file_untouched();
}

TEST_F(save_failure, a_successful_save_clears_the_message_and_keeps_permissions)
{
    EXPECT_FALSE(save_world(dir.file("gone/life.sav").c_str()));
    ASSERT_EQ(chmod(path.c_str(), 0600), 0);
    // A temporary left by a dead process that had our id does not stop the save.
    write_bytes(path + "." + std::to_string(getpid()) + ".tmp", "stale");
    ASSERT_TRUE(save_world(path.c_str())) << persist_error();
    EXPECT_STREQ(persist_error(), "");
    struct stat st;
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_NE(read_bytes(path), old_bytes);
    EXPECT_EQ(dir.names(), std::vector<std::string>{"life.sav"});
}

TEST_F(save_failure, a_save_through_a_link_replaces_the_file_it_points_to)
{
    const std::string link = dir.file("link.sav");
    ASSERT_EQ(symlink("life.sav", link.c_str()), 0);
    ASSERT_TRUE(save_world(link.c_str())) << persist_error();
    struct stat st;
    ASSERT_EQ(lstat(link.c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_NE(read_bytes(path), old_bytes);
    EXPECT_EQ(split_lines(read_bytes(path)).size(), 5u + 15000u + 1u + 30u * 1703u);
}
