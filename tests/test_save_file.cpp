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

// Saves the world to a file in the folder and returns its bytes.
static std::string saved_bytes(const world_state &world, const scratch_folder &dir, const std::string &name)
{
    const std::string path = dir.file(name);
    EXPECT_TRUE(saved(save_world(world, path.c_str())));
    return read_bytes(path);
}

// ---------------------------------------------------------------- round trips

struct save_round_trip : save_test {};

TEST_F(save_round_trip, save_load_save_gives_identical_bytes)
{
    scratch_folder dir;
    lived_world(*sim, 50, 300);
    const std::string first = saved_bytes(world, dir, "a.sav");
    EXPECT_EQ((long)split_lines(first).size(), save_file_lines(100, 75, 50));

    fresh_world(*sim);
    ASSERT_EQ(load_world(*sim, dir.file("a.sav").c_str()), load_ok);
    EXPECT_EQ(saved_bytes(world, dir, "b.sav"), first);
}

// The counters go with the very world file they count: back whole with it, at zero (and said) when
// the world beside them is another save, and a damaged file is set aside without costing the world.
TEST_F(save_round_trip, the_counters_come_back_only_with_their_own_world_file)
{
    scratch_folder dir;
    const std::string path = dir.file("a.sav");
    lived_world(*sim, 30, 400);
    const world_life lived = sim->life;
    ASSERT_GT(lived.births_exhaustion + lived.births_cull, 0u);
    ASSERT_TRUE(saved(save_world(world, path.c_str(), &lived)));

    fresh_world(*sim);
    load_outcome o = load_world(*sim, path.c_str());
    ASSERT_EQ(o.result, load_ok);
    EXPECT_FALSE(o.life_restarted) << o.life_message;
    EXPECT_TRUE(o.life_message.empty());
    EXPECT_TRUE(life_equal(sim->life, lived));

    // The world saved again without its counters: the ones beside it name the old bytes.
    sim->world.time++;
    ASSERT_TRUE(saved(save_world(world, path.c_str())));
    o = load_world(*sim, path.c_str());
    EXPECT_TRUE(o.life_restarted);
    EXPECT_NE(o.life_message.find("another save"), std::string::npos) << o.life_message;
    EXPECT_EQ(sim->life.steps, 0u);

    // A damaged file: the world loads, the file is kept as .stats.bad, never over an earlier one.
    ASSERT_TRUE(saved(save_world(world, path.c_str(), &lived)));
    std::string text = read_bytes(path + ".stats");
    text.replace(text.find("\nsteps "), 7, "\nsteps x");
    write_bytes(path + ".stats", text);
    write_bytes(path + ".stats.bad", "an earlier one");
    o = load_world(*sim, path.c_str());
    ASSERT_EQ(o.result, load_ok);
    EXPECT_TRUE(o.life_restarted);
    EXPECT_NE(o.life_message.find("kept as " + path + ".stats.bad.2"), std::string::npos) << o.life_message;
    EXPECT_EQ(read_bytes(path + ".stats.bad.2"), text);
    EXPECT_EQ(read_bytes(path + ".stats.bad"), "an earlier one");
    EXPECT_FALSE(file_exists(path + ".stats"));
}

TEST_F(save_round_trip, stored_values_come_back_to_six_decimals_and_counts_exactly)
{
    scratch_folder dir;
    lived_world(*sim, 50, 400);
    world.steps_this_second = 1234;
    world.time = 98765;
    world.display_on = 0;
    const auto before = world_snapshot(world);
    const std::string path = dir.file("life.sav");
    ASSERT_TRUE(saved(save_world(world, path.c_str())));

    fresh_world(*sim);
    const auto reset = world_snapshot(world);
    ASSERT_EQ(load_world(*sim, path.c_str()), load_ok);

    EXPECT_EQ(world.steps_this_second, 1234);
    EXPECT_EQ(world.time, 98765);
    EXPECT_EQ(world.display_on, 0);
    EXPECT_EQ(world.field_width, before->field_width);
    EXPECT_EQ(world.field_height, before->field_height);
    EXPECT_EQ(world.population, before->population);
    int mismatches = 0;
    for (int i = 0; i < world.field_width; i++)
        for (int j = 0; j < world.field_height; j++) {
            const int idx = cell_index(i, j);
            mismatches += six(world.cell_food[idx]) != six(before->cell_food[idx]);
            mismatches += six(world.cell_rate[idx]) != six(before->cell_rate[idx]);
        }
    for (int c = 0; c < world.population; c++) {
        const creature &got = world.creatures[c], &want = before->creatures[c];
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
        EXPECT_EQ(0, memcmp(got.neurons[0], reset->creatures[c].neurons[0], sizeof got.neurons[0]));
        EXPECT_EQ(0, memcmp(got.sense_food, reset->creatures[c].sense_food, sizeof got.sense_food));
        EXPECT_EQ(got.neurons[3][0].weight[20], reset->creatures[c].neurons[3][0].weight[20]);
        EXPECT_EQ(got.neurons[4][0].weight[15], reset->creatures[c].neurons[4][0].weight[15]);
    }
    EXPECT_EQ(mismatches, 0);
    EXPECT_EQ(world.rng_state, reset->rng_state);
    EXPECT_EQ(world.best_index, reset->best_index);
}

TEST_F(save_round_trip, writes_the_documented_text)
{
    scratch_folder dir;
    fresh_world(*sim);
    world.steps_this_second = 7;
    world.time = -3;
    world.creatures[0].x = 4.5f;
    world.creatures[0].color = 0x10ff20;
    world.creatures[0].neurons[1][0].tag = 1;
    world.creatures[0].neurons[1][0].bias = -0.1f;
    const std::vector<std::string> lines = split_lines(saved_bytes(world, dir, "life.sav"));
    const save_layout at{100, 75};
    // The layout's sizes: 5 + 15000 + 1 lines, then 8 + 700 + 560 + 345 + 90 for each creature.
    ASSERT_EQ(lines.size(), 100156u);
    ASSERT_EQ(save_file_creature_lines(), 1703);
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

TEST_F(save_round_trip, population_ten_leaves_slots_ten_to_49_as_the_reset_made_them)
{
    scratch_folder dir;
    lived_world(*sim, 10, 300);
    const auto before = world_snapshot(world);
    const std::string path = dir.file("life.sav");
    ASSERT_TRUE(save_world(world, path.c_str()));
    EXPECT_EQ((long)split_lines(read_bytes(path)).size(), save_file_lines(100, 75, 10));

    fresh_world(*sim);
    const auto reset = world_snapshot(world);
    ASSERT_EQ(load_world(*sim, path.c_str()), load_ok);
    EXPECT_EQ(world.population, 10);
    for (int c = 0; c < 10; c++) {
        EXPECT_EQ(six(world.creatures[c].resources), six(before->creatures[c].resources));
        EXPECT_EQ(world.creatures[c].color, before->creatures[c].color);
    }
    for (int c = 10; c < creature_slots; c++)
        EXPECT_EQ(0, memcmp(&world.creatures[c], &reset->creatures[c], sizeof(creature))) << "slot " << c;
}

TEST_F(save_round_trip, a_smaller_field_keeps_its_size_and_the_cells_beyond_it)
{
    scratch_folder dir;
    lived_world(*sim, 20, 100);
    world.field_width = 30;
    world.field_height = 20;
    for (int c = 0; c < world.population; c++) {
        world.creatures[c].x = std::fmod(world.creatures[c].x, 29.0f) + 0.25f;
        world.creatures[c].y = std::fmod(world.creatures[c].y, 19.0f) + 0.25f;
    }
    const std::string path = dir.file("life.sav");
    ASSERT_TRUE(save_world(world, path.c_str()));
    EXPECT_EQ((long)split_lines(read_bytes(path)).size(), save_file_lines(30, 20, 20));

    fresh_world(*sim);
    const auto reset = world_snapshot(world);
    ASSERT_EQ(load_world(*sim, path.c_str()), load_ok);
    EXPECT_EQ(world.field_width, 30);
    EXPECT_EQ(world.field_height, 20);
    EXPECT_EQ(world.cell_food[cell_index(50, 50)], reset->cell_food[cell_index(50, 50)]);
    EXPECT_EQ(world.cell_rate[cell_index(29, 20)], reset->cell_rate[cell_index(29, 20)]);
    for (int s = 0; s < 50; s++)
        sim_step(*sim);
    EXPECT_EQ(world.field_width, 30);
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

TEST_F(save_round_trip, numbers_use_a_decimal_point_whatever_the_locale)
{
    scratch_folder dir;
    lived_world(*sim, 50, 100);
    const std::string expected = saved_bytes(world, dir, "c-locale.sav");
    if (!use_decimal_comma_locale(dir)) {
        setlocale(LC_ALL, "C");
        GTEST_SKIP() << "no locale with a decimal comma can be built here (localedef, de_DE)";
    }
    const std::string path = dir.file("comma.sav");
    const save_result saved = save_world(world, path.c_str());
    fresh_world(*sim);
    const load_outcome loaded = load_world(*sim, path.c_str());
    setlocale(LC_ALL, "C");
    unsetenv("LOCPATH");
    ASSERT_TRUE(saved) << saved.why;
    EXPECT_EQ(read_bytes(path), expected);
    ASSERT_EQ(loaded, load_ok);
    EXPECT_EQ(saved_bytes(world, dir, "again.sav"), expected);
}

// ---------------------------------------------------------------- reading rules

struct save_reading : save_test {
    scratch_folder dir;
    std::string path = dir.file("life.sav");
    std::vector<std::string> lines;
    save_layout at{100, 75};
    void SetUp() override
    {
        lived_world(*sim, 50, 200);
        ASSERT_TRUE(save_world(world, path.c_str()));
        lines = split_lines(read_bytes(path));
        fresh_world(*sim);
    }
};

TEST_F(save_reading, any_whitespace_separates_numbers)
{
    std::string spaced;
    for (size_t n = 0; n < lines.size(); n++)
        spaced += lines[n] + (n % 3 == 0 ? " " : n % 3 == 1 ? "\r\n\t" : "\n\n  ");
    write_bytes(path, spaced + "\n \n");
    ASSERT_EQ(load_world(*sim, path.c_str()), load_ok);
    EXPECT_EQ(split_lines(saved_bytes(world, dir, "again.sav")), lines);
}

TEST_F(save_reading, a_file_with_windows_line_ends_loads_as_the_same_world)
{
    ASSERT_EQ(load_world(*sim, path.c_str()), load_ok);
    const auto from_lf = world_snapshot(world);
    std::string crlf;
    for (const std::string &l : lines)
        crlf += l + "\r\n";
    write_bytes(path, crlf);
    fresh_world(*sim);
    ASSERT_EQ(load_world(*sim, path.c_str()), load_ok);
    EXPECT_TRUE(world_equal(world, *from_lf));
}

TEST_F(save_reading, extreme_numbers_that_fit_their_item_are_read)
{
    lines[at.creature_line(1)] = "-2147483648";
    lines[at.creature_line(1) + 5] = "1e-40";
    lines[at.creature_line(1) + 6] = "+340282346638528859811704183484516925440.000000";
    write_bytes(path, join_lines(lines));
    ASSERT_EQ(load_world(*sim, path.c_str()), load_ok);
    EXPECT_EQ(world.creatures[1].age, INT32_MIN);
    EXPECT_EQ(world.creatures[1].resources, 1e-40f);
    EXPECT_EQ(world.creatures[1].eaten, 3.40282346638528859811704183484516925440e38f);
}

// The bound follows from the layout: 3356 whole numbers of at most 11 characters and 96 800 reals of
// at most 47 ("%f" of -FLT_MAX), each with a two-byte line end.
TEST(save_size, the_largest_file_is_derived_from_the_layout)
{
    EXPECT_EQ(save_file_max_bytes(), 3356LL * 13 + 96800LL * 49);
}

TEST_F(save_reading, a_missing_file_is_silent_and_changes_nothing)
{
    const auto reset = world_snapshot(world);
    EXPECT_EQ(load_world(*sim, dir.file("nothing-here.sav").c_str()), load_missing);
    EXPECT_TRUE(world_equal(world, *reset));
    EXPECT_FALSE(file_exists(dir.file("nothing-here.sav.bad")));
}

// ---------------------------------------------------------------- refusing untrustworthy files

struct save_refusal : save_reading {
    // Loads the given bytes over a new world and checks that the file is refused, kept, explained
    // by a message containing `reason`, and that the world is still the new world.
    // The refused file is then removed again, so each call starts without one.
    void expect_refused(const std::string &bytes, const std::string &reason)
    {
        write_bytes(path, bytes);
        fresh_world(*sim);
        const auto reset = world_snapshot(world);
        const load_outcome loaded = load_world(*sim, path.c_str());
        EXPECT_EQ(loaded, load_refused) << reason;
        EXPECT_FALSE(loaded.left_in_place);
        EXPECT_TRUE(world_equal(world, *reset)) << "a refused file changed the world: " << reason;
        EXPECT_FALSE(file_exists(path));
        EXPECT_TRUE(read_bytes(path + ".bad") == bytes) << "the refused file was not kept as it was: " << reason;
        const std::string message = loaded.message;
        EXPECT_NE(message.find(reason), std::string::npos) << message;
        EXPECT_NE(message.find("kept as " + path + ".bad,"), std::string::npos) << message;
        EXPECT_EQ(message.find('\n'), std::string::npos) << message;
        std::filesystem::remove(path + ".bad");
        for (int s = 0; s < 3; s++) // the new world runs
            sim_step(*sim);
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
    expect_refused(with_line(3, "101"), "line 4: field width 101 is outside 1..100");
    expect_refused(with_line(3, "0"), "field width 0");
    expect_refused(with_line(4, "0"), "line 5: field height 0 is outside 1..75");
    expect_refused(with_line(4, "76"), "field height 76");
    expect_refused(with_line(4, "-2147483648"), "field height -2147483648");
}

TEST_F(save_refusal, populations_outside_two_to_fifty)
{
    const std::string line = "line " + std::to_string(at.population_line() + 1) + ": ";
    expect_refused(with_line(at.population_line(), "1"), line + "population 1 is outside 2..50");
    expect_refused(with_line(at.population_line(), "51"), "population 51");
    expect_refused(with_line(at.population_line(), "2147483647"), "population 2147483647");
    expect_refused(with_line(at.population_line(), "-5"), "population -5");
}

TEST_F(save_refusal, creatures_outside_the_field)
{
    const int x7 = at.creature_line(7) + 1;
    const std::string line = "line " + std::to_string(at.creature_line(7) + 1) + ": ";
    expect_refused(with_line(x7, "1e30"), line + "creature 7 stands at (1e+30,");
    expect_refused(with_line(x7, "-3"), "creature 7 stands at (-3,");
    expect_refused(with_line(x7, "100.0"), "outside the 100 x 75 field");
    expect_refused(with_line(at.creature_line(49) + 2, "75"), "creature 49 stands at");
}

// One damaged token anywhere refuses the whole file: nothing after it is taken from a new world.
TEST_F(save_refusal, a_damaged_token_refuses_the_file)
{
    const int c2 = at.creature_line(2);
    const std::string angle = "line " + std::to_string(c2 + 4) + ": creature 2's angle is ";
    expect_refused(with_line(c2 + 3, "1,5"), angle + "\"1,5\", not a number");
    expect_refused(with_line(c2 + 3, "fish"), angle + "\"fish\", not a number");
    expect_refused(with_line(c2 + 3, "0x1p-3"), angle + "\"0x1p-3\", not a decimal number");
    expect_refused(with_line(c2 + 3, std::string(100, '1')), "too long to be a number");
    // A space inside a number makes two numbers: every later item moves one place along.
    std::string split = lines[c2 + 3];
    split.insert(split.size() - 3, " ");
    expect_refused(with_line(c2 + 3, split), "line " + std::to_string(c2 + 7) + ": creature 2's colour is \"");
    const char *bad_ints[] = {"2147483648", "-2147483649", "99999999999999999999", "3.5", "12abc", "0x10", "+"};
    for (const char *token : bad_ints)
        expect_refused(with_line(at.creature_line(1), token),
                       "line " + std::to_string(at.creature_line(1) + 1) + ": creature 1's age is \"" + token);
    expect_refused(with_line(at.population_line() - 1, "1.5x"), "the rate of cell (99, 74) is \"1.5x\", not a number");
}

TEST_F(save_refusal, inf_and_nan_are_refused_wherever_they_stand)
{
    const int c3 = at.creature_line(3);
    const std::string eaten = "line " + std::to_string(c3 + 7) + ": creature 3's eaten is ";
    expect_refused(with_line(c3 + 6, "inf"), eaten + "\"inf\", not a finite number");
    expect_refused(with_line(c3 + 6, "1e39"), eaten + "\"1e39\", not a finite number");
    expect_refused(with_line(c3 + 6, "-nan"), "not a finite number");
    expect_refused(with_line(5 + 2 * 777, "-inf"), "line 1560: the food of cell (10, 27) is \"-inf\"");
    expect_refused(with_line(c3 + 1, "nan"), "creature 3's x is \"nan\", not a finite number");
    expect_refused(with_line(c3 + 20, "infinity"), "creature 3's weight is \"infinity\", not a finite number");
}

TEST_F(save_refusal, a_file_cut_short_or_running_on_is_refused)
{
    const int cut = at.creature_line(3) + 500;
    std::vector<std::string> head(lines.begin(), lines.begin() + cut);
    expect_refused(join_lines(head) + "0.12", "the file ends where creature 3's weight should be");
    expect_refused(join_lines(lines) + "0.000000\n", "line 100157: \"0.000000\" follows the last item");
    // Cut inside the last number: "1" of "1.905300" reads as a number, but the line end after it is missing.
    std::string whole = join_lines(lines);
    const size_t last = whole.rfind('\n', whole.size() - 2) + 1;
    expect_refused(whole.substr(0, whole.find('.', last)), "line 100156: the file ends inside");
    // A whole last line may end in CRLF, but must end.
    whole.pop_back();
    expect_refused(whole, "without the line end after it");
}

// Too many open files, a program holding it: nothing is known of its contents, so nothing is done to it.
TEST_F(save_refusal, a_file_that_cannot_be_read_now_is_left_for_the_next_run)
{
    const std::string bytes = read_bytes(path);
    const auto [status, said] = in_child([&] {
        struct rlimit few = {3, 3};
        setrlimit(RLIMIT_NOFILE, &few);
        const load_outcome r = load_world(*sim, path.c_str());
        const save_result saved = save_world(world, path.c_str());
        return std::string(r.result == load_refused && r.left_in_place && !saved ? "left: " : "other: ") +
               saved.why;
    });
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << said;
    EXPECT_EQ(said.rfind("left: ", 0), 0u) << said;
    EXPECT_TRUE(read_bytes(path) == bytes);
    EXPECT_EQ(dir.names(), std::vector<std::string>{"life.sav"});
    fresh_world(*sim);
    EXPECT_EQ(load_world(*sim, path.c_str()), load_ok);
}

TEST_F(save_refusal, files_without_a_readable_header)
{
    expect_refused("", "line 1: the file ends where the step count should be");
    expect_refused("Dear diary,\ntoday the creatures ate well.\n", "line 1: the step count is \"Dear\", not a whole number");
    expect_refused("1\n2\n1\n", "line 4: the file ends where the field width should be");
    expect_refused(with_line(3, "99999999999"), "line 4: the field width is \"99999999999\", beyond a 32-bit");
    expect_refused(std::string("\0\0\0\x7f" "ELF", 7), "the step count is \"????ELF\", not a whole number");
}

TEST_F(save_refusal, each_refused_file_gets_a_name_of_its_own)
{
    write_bytes(path + ".bad", "an older refused file\n");
    std::filesystem::create_directory(path + ".bad.3"); // anything at all in the way is passed over
    const std::string first = with_line(3, "500"), second = with_line(4, "500");
    write_bytes(path, first);
    load_outcome loaded = load_world(*sim, path.c_str());
    EXPECT_EQ(loaded, load_refused);
    EXPECT_NE(loaded.message.find("kept as " + path + ".bad.2,"), std::string::npos) << loaded.message;
    write_bytes(path, second);
    loaded = load_world(*sim, path.c_str());
    EXPECT_EQ(loaded, load_refused);
    EXPECT_NE(loaded.message.find("kept as " + path + ".bad.4,"), std::string::npos) << loaded.message;
    EXPECT_EQ(read_bytes(path + ".bad"), "an older refused file\n");
    EXPECT_TRUE(read_bytes(path + ".bad.2") == first);
    EXPECT_TRUE(std::filesystem::is_empty(path + ".bad.3"));
    EXPECT_TRUE(read_bytes(path + ".bad.4") == second);
    EXPECT_FALSE(loaded.left_in_place);
}

// Where the refused file cannot be moved (a folder the user cannot write), it stays, and no save
// of this process goes over it, whatever the caller asks.
TEST_F(save_refusal, a_refused_file_that_cannot_be_moved_aside_is_never_saved_over)
{
    const std::string bytes = with_line(3, "500");
    write_bytes(path, bytes);
    ASSERT_EQ(chmod(dir.path.c_str(), 0555), 0);
    const auto [status, said] = as_ordinary_user(dir, [&] {
        fresh_world(*sim);
        const load_outcome r = load_world(*sim, path.c_str());
        std::string out = r.result == load_refused ? "refused" : "taken";
        out += r.left_in_place ? " left" : " moved";
        out += save_world(world, place_at(path, true)) ? " saved" : " not-saved";
        const save_result last = save_world(world, path.c_str());
        out += last ? " saved" : " not-saved";
        return out + " | " + last.why;
    });
    chmod(dir.path.c_str(), 0755);
    EXPECT_CHILD_RAN(status, said);
    EXPECT_EQ(said.substr(0, said.find(" | ")), "refused left not-saved not-saved") << said;
    EXPECT_NE(said.find("refused file there could not be moved aside"), std::string::npos) << said;
    EXPECT_TRUE(read_bytes(path) == bytes);
    EXPECT_FALSE(file_exists(path + ".bad"));
}

TEST_F(save_refusal, a_read_only_look_moves_nothing)
{
    const std::string bytes = with_line(3, "500");
    write_bytes(path, bytes);
    const load_outcome loaded = load_world(*sim, path.c_str(), false);
    EXPECT_EQ(loaded, load_refused);
    EXPECT_TRUE(loaded.left_in_place);
    EXPECT_NE(loaded.message.find("left as it is"), std::string::npos) << loaded.message;
    EXPECT_TRUE(read_bytes(path) == bytes);
    EXPECT_EQ(dir.names(), std::vector<std::string>{"life.sav"});
}

// Nothing that is not a plain file is read: a FIFO or a device would block or never end.
TEST_F(save_refusal, fifos_devices_and_huge_files_are_refused_at_once)
{
    const std::string fifo = dir.file("fifo.sav");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    std::string said = refused_within_a_second(fifo);
    EXPECT_EQ(said.rfind("refused: ", 0), 0u) << said;
    EXPECT_NE(said.find("it is a FIFO, not a regular file"), std::string::npos) << said;
    EXPECT_NE(said.find("[left in place]"), std::string::npos) << said;
    struct stat st;
    EXPECT_TRUE(stat(fifo.c_str(), &st) == 0 && S_ISFIFO(st.st_mode));

    for (const char *device : {"/dev/zero", "/dev/full"}) {
        said = refused_within_a_second(device);
        EXPECT_EQ(said.rfind("refused: ", 0), 0u) << said;
        EXPECT_NE(said.find("it is a device"), std::string::npos) << said;
        EXPECT_TRUE(stat(device, &st) == 0 && S_ISCHR(st.st_mode)) << device << " was moved";
    }

    const std::string sparse = dir.file("sparse.sav");
    {
        std::ofstream(sparse, std::ios::binary) << "1\n";
    }
    std::filesystem::resize_file(sparse, 2LL << 30);
    said = refused_within_a_second(sparse);
    EXPECT_EQ(said.rfind("refused: ", 0), 0u) << said;
    EXPECT_NE(said.find("it holds 2147483648 bytes, more than any world"), std::string::npos) << said;
    EXPECT_EQ(std::filesystem::file_size(sparse + ".bad"), 2ull << 30);
}

TEST_F(save_refusal, a_folder_where_the_file_should_be_stays_and_is_never_saved_over)
{
    std::filesystem::remove(path);
    std::filesystem::create_directory(path);
    write_bytes(path + "/inside", "x");
    fresh_world(*sim);
    const auto reset = world_snapshot(world);
    const load_outcome loaded = load_world(*sim, path.c_str());
    EXPECT_EQ(loaded, load_refused);
    EXPECT_TRUE(world_equal(world, *reset));
    EXPECT_NE(loaded.message.find("it is a folder, not a file"), std::string::npos) << loaded.message;
    EXPECT_FALSE(save_world(world, path.c_str()));
    EXPECT_EQ(read_bytes(path + "/inside"), "x");
    EXPECT_EQ(dir.names(), std::vector<std::string>{"life.sav"});
}

// ---------------------------------------------------------------- failing saves

struct save_failure : save_test {
    scratch_folder dir;
    std::string path = dir.file("life.sav");
    std::string old_bytes;
    void SetUp() override
    {
        lived_world(*sim, 50, 50);
        ASSERT_TRUE(save_world(world, path.c_str()));
        old_bytes = read_bytes(path);
        lived_world(*sim, 30, 120); // a different world to try to save over it
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
    const auto [status, said] = as_ordinary_user(dir, [&] {
        const save_result saved = save_world(world, path.c_str());
        return std::string(saved ? "saved" : "failed: ") + saved.why;
    });
    chmod(dir.path.c_str(), 0755);
    EXPECT_CHILD_RAN(status, said);
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
        const save_result saved = save_world(world, path.c_str());
        return std::string(saved ? "saved" : "failed: ") + saved.why;
    });
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << said;
    EXPECT_EQ(said.rfind("failed: ", 0), 0u) << said;
    EXPECT_NE(said.find(path), std::string::npos) << said;
    EXPECT_NE(said.find(strerror(EFBIG)), std::string::npos) << said;
    expect_old_file_untouched();
}

// Saved in place (its folder read-only), a world that would grow on a full disk is not begun: the
// file stays whole.  A file-size limit at the file's present size stands in for the full disk.
TEST_F(save_failure, a_full_disk_leaves_a_file_saved_in_place_whole)
{
    const auto [status, said] = in_child([&] {
        signal(SIGXFSZ, SIG_IGN);
        // The smaller world goes in over the larger and the file is cut to its length.
        if (const save_result smaller = save_world(world, place_at(path, true)); !smaller)
            return std::string("the smaller world failed: ") + smaller.why;
        const rlim_t size = (rlim_t)read_bytes(path).size();
        struct rlimit limit = {size, size};
        setrlimit(RLIMIT_FSIZE, &limit);
        lived_world(*sim, 50, 50);
        const save_result saved = save_world(world, place_at(path, true));
        return std::string(saved ? "saved" : "failed: ") + saved.why;
    });
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << said;
    EXPECT_EQ(said.rfind("failed: ", 0), 0u) << said;
    EXPECT_NE(said.find("the file is left as it is: " + std::string(strerror(EFBIG))), std::string::npos) << said;
    EXPECT_NE(said.find("previous save file is untouched"), std::string::npos) << said;
    EXPECT_EQ((long)split_lines(read_bytes(path)).size(), save_file_lines(100, 75, 30));
    fresh_world(*sim);
    EXPECT_EQ(load_world(*sim, path.c_str()), load_ok);
    // With room again the larger world goes in whole.
    lived_world(*sim, 50, 50);
    ASSERT_TRUE(saved(save_world(world, place_at(path, true))));
    EXPECT_TRUE(read_bytes(path) == old_bytes);
}

// Only a regular file is replaced: a FIFO or a device under the name stays what it is.
TEST_F(save_failure, a_fifo_under_the_name_is_never_replaced)
{
    const std::string fifo = dir.file("fifo.sav");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const save_result saved = save_world(world, fifo.c_str());
    EXPECT_FALSE(saved);
    EXPECT_NE(saved.why.find("it is not a regular file"), std::string::npos) << saved.why;
    struct stat st;
    ASSERT_EQ(lstat(fifo.c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
    EXPECT_EQ(dir.names(), (std::vector<std::string>{"fifo.sav", "life.sav"}));
}

TEST_F(save_failure, a_save_into_a_missing_folder_fails_cleanly)
{
    const std::string nowhere = dir.file("gone/life.sav");
    const save_result saved = save_world(world, nowhere.c_str());
    EXPECT_FALSE(saved);
    const std::string message = saved.why;
    EXPECT_NE(message.find(nowhere), std::string::npos) << message;
    EXPECT_NE(message.find(strerror(ENOENT)), std::string::npos) << message;
    expect_old_file_untouched();
}

// A world the reader would refuse is no world to write: counts outside the arrays, or a value
// that overflowed to infinity in the step.
TEST_F(save_failure, a_world_that_is_not_sound_is_never_written)
{
    world.population = 51;
    save_result saved = save_world(world, path.c_str());
    EXPECT_FALSE(saved);
    EXPECT_NE(saved.why.find("population 51 is outside 2..50"), std::string::npos) << saved.why;
    world.population = 30;
    world.field_width = 101;
    saved = save_world(world, place_at(path));
    EXPECT_FALSE(saved);
    EXPECT_NE(saved.why.find("field width 101"), std::string::npos) << saved.why;
    world.field_width = 100;
    world.creatures[3].neurons[2][4].weight[7] = NAN;
    saved = save_world(world, place_at(path));
    EXPECT_FALSE(saved);
    EXPECT_NE(saved.why.find("creature 3's neuron 4 of layer 2"), std::string::npos) << saved.why;
    world.creatures[3].neurons[2][4].weight[7] = 0;
    world.creatures[5].eaten = INFINITY;
    EXPECT_FALSE(save_world(world, place_at(path, true)));
    saved = save_world(world, path.c_str());
    EXPECT_FALSE(saved);
    EXPECT_NE(saved.why.find("creature 5's eaten is inf"), std::string::npos) << saved.why;
    EXPECT_NE(saved.why.find("previous save file is untouched"), std::string::npos);
    world.creatures[5].eaten = 1;
    world.cell_food[cell_index(10, 10)] = -INFINITY;
    saved = save_world(world, place_at(path));
    EXPECT_FALSE(saved);
    EXPECT_NE(saved.why.find("the food of cell (10, 10) is -inf"), std::string::npos) << saved.why;
    expect_old_file_untouched();
}

TEST_F(save_failure, each_save_keeps_the_file_it_replaces_as_prev)
{
    ASSERT_EQ(chmod(path.c_str(), 0640), 0);
    ASSERT_TRUE(saved(save_world(world, place_at(path))));
    const std::string second = read_bytes(path);
    EXPECT_TRUE(read_bytes(path + ".prev") == old_bytes);
    lived_world(*sim, 20, 30);
    ASSERT_TRUE(saved(save_world(world, place_at(path))));
    EXPECT_TRUE(read_bytes(path + ".prev") == second);
    EXPECT_NE(read_bytes(path), second);
    EXPECT_EQ(dir.names(), (std::vector<std::string>{"life.sav", "life.sav.prev"}));
    struct stat st;
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    // Saves the program does not own (life-bench, the tests) replace the file and nothing more.
    ASSERT_TRUE(save_world(world, path.c_str()));
    EXPECT_TRUE(read_bytes(path + ".prev") == second);
    // A place that may not be saved to is left alone.
    world_place read_only = place_at(path);
    read_only.can_save = false;
    const save_result not_saved = save_world(world, read_only);
    EXPECT_FALSE(not_saved);
    EXPECT_NE(not_saved.why.find("not saved"), std::string::npos) << not_saved.why;
}

TEST_F(save_failure, a_successful_save_clears_the_message_and_keeps_permissions)
{
    EXPECT_FALSE(save_world(world, dir.file("gone/life.sav").c_str()));
    ASSERT_EQ(chmod(path.c_str(), 0600), 0);
    // A file named as this process's temporaries were named once is someone's, and stays.
    const std::string old_form = "life.sav." + std::to_string(getpid()) + ".tmp";
    write_bytes(dir.file(old_form), "stale");
    const save_result saved = save_world(world, path.c_str());
    ASSERT_TRUE(saved) << saved.why;
    EXPECT_EQ(saved.why, "");
    struct stat st;
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_NE(read_bytes(path), old_bytes);
    EXPECT_EQ(dir.names(), (std::vector<std::string>{"life.sav", old_form}));
}

TEST_F(save_failure, a_save_through_a_link_replaces_the_file_it_points_to)
{
    const std::string link = dir.file("link.sav");
    ASSERT_EQ(symlink("life.sav", link.c_str()), 0);
    ASSERT_TRUE(saved(save_world(world, link.c_str())));
    struct stat st;
    ASSERT_EQ(lstat(link.c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_NE(read_bytes(path), old_bytes);
    EXPECT_EQ((long)split_lines(read_bytes(path)).size(), save_file_lines(100, 75, 30));
}
