// The world's history file and the digest: exact rows, a long run's thinning, and files set aside, never lost.
#include "history.h"
#include "sha256.h"
#include "simulation.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <chrono>
#include <iostream>
#include <cmath>
#include <ctime>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

static long long file_size(const std::string &path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0 ? (long long)st.st_size : -1;
}

// A row like a lived world's, different for every n.
static history_row row_at(uint64_t n)
{
    history_row r;
    r.utc = 1796848471 + 21 * (int64_t)n;
    r.seconds = 21 * (int64_t)n;
    r.steps = 1000 * n;
    r.ips = 1500 + (int32_t)(n % 100);
    r.population = 50 - (int32_t)(n % 3);
    r.births_exhaustion = n % 7;
    r.births_cull = 1;
    r.food_eaten = n % 13 * 11;
    r.eaten_mean = 0.25 * (double)(n % 1000);
    r.eaten_best = 12.5;
    r.resources_mean = 3.0625;
    r.age_mean = (double)n / 8;
    r.generation_max = n / 3;
    r.generation_mean = (double)n / 16;
    r.food_on_field = 1234.5;
    return r;
}

// A file of `count` rows written the program's way.
static std::string history_bytes(uint64_t count, uint64_t from = 1)
{
    std::string text = history_header() + "\n";
    for (uint64_t n = from; n < from + count; n++)
        text += history_row_text(row_at(n)) + "\n";
    return text;
}

static std::vector<std::string> texts(const std::vector<history_row> &rows)
{
    std::vector<std::string> out;
    for (const history_row &r : rows)
        out.push_back(history_row_text(r));
    return out;
}

// A simulation whose counters stand at `steps` (everything else zero).
static std::unique_ptr<simulation> lived(uint64_t steps)
{
    auto s = simulation_new();
    s->life.steps = steps;
    return s;
}

TEST(sha256, gives_the_standard_digests)
{
    EXPECT_EQ(sha256_hex(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(sha256_hex("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_EQ(sha256_hex("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
              "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
    EXPECT_EQ(sha256_hex(std::string(1000000, 'a')), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}

TEST(history_row, is_written_as_csv_and_read_back_exactly)
{
    EXPECT_EQ(history_header(), "utc,seconds,steps,ips,population,births_exhaustion,births_cull,food_eaten,eaten_mean,"
                                "eaten_best,resources_mean,age_mean,generation_max,generation_mean,food_on_field");
    history_row r;
    r.utc = 1796848471;
    r.seconds = 98765;
    r.steps = 18446744073709551615u;
    r.ips = 1234;
    r.population = 50;
    r.births_exhaustion = 7;
    r.births_cull = 1;
    r.food_eaten = 12345678901234u;
    r.eaten_mean = 1.23456;
    r.eaten_best = -0.5;
    r.resources_mean = 98765.4321;
    r.age_mean = 0;
    r.generation_max = 42;
    r.generation_mean = 3.14159;
    r.food_on_field = 1e15 / 3;
    const std::string text = history_row_text(r);
    EXPECT_EQ(text, "2026-12-09T20:34:31Z,98765,18446744073709551615,1234,50,7,1,12345678901234,1.2346,-0.5000,"
                    "98765.4321,0.0000,42,3.1416,333333333333333.312");

    history_row back;
    ASSERT_TRUE(history_row_parse(text, back));
    EXPECT_EQ(history_row_text(back), text);
    EXPECT_EQ(back.utc, r.utc);
    EXPECT_EQ(back.steps, r.steps);
    EXPECT_EQ(back.food_eaten, r.food_eaten);
    EXPECT_EQ(back.eaten_mean, 1.2346);
    EXPECT_EQ(back.resources_mean, 98765.4321);

    // Dates from the first day of year 0 to the last second of year 9999, leap days included.
    for (int64_t utc : {(int64_t)-62167219200, (int64_t)0, (int64_t)951782400, (int64_t)253402300799}) {
        r.utc = utc;
        ASSERT_TRUE(history_row_parse(history_row_text(r), back));
        EXPECT_EQ(back.utc, utc);
    }
    r.utc = 951782400;
    EXPECT_EQ(history_row_text(r).substr(0, 21), "2000-02-29T00:00:00Z,");
    // A value that is not a number is an empty field, read back as one.
    r.age_mean = NAN;
    ASSERT_TRUE(history_row_parse(history_row_text(r), back));
    EXPECT_TRUE(std::isnan(back.age_mean));

    // Anything else is not a row.
    for (const std::string &line :
         {text + "\r", text + ",", text.substr(0, text.size() - 1), "2026-02-29T20:34:31Z" + text.substr(20),
          "2026-12-09 20:34:31Z" + text.substr(20), text.substr(0, 21) + "-0" + text.substr(26),
          text.substr(0, 27) + "18446744073709551616" + text.substr(47), std::string(""), history_header()}) {
        EXPECT_FALSE(history_row_parse(line, back)) << line;
    }
}

TEST(history_row, counts_the_births_and_food_since_the_last_row)
{
    auto s = lived(5000);
    s->world.time = 77;
    s->life.births_exhaustion = 30;
    s->life.births_cull = 4;
    s->life.food_eaten = 900;
    history_log log;
    log.at_births_exhaustion = 25;
    log.at_births_cull = 4;
    log.at_food_eaten = 100;
    const history_row r = history_row_now(log, *s, 321, 1796848471);
    EXPECT_EQ(r.seconds, 77);
    EXPECT_EQ(r.steps, 5000u);
    EXPECT_EQ(r.ips, 321);
    EXPECT_EQ(r.population, s->world.population);
    EXPECT_EQ(r.births_exhaustion, 5u);
    EXPECT_EQ(r.births_cull, 0u);
    EXPECT_EQ(r.food_eaten, 800u);
}

TEST(history_append, a_million_rows_stay_under_the_bound_and_lose_no_count)
{
    scratch_folder dir;
    const std::string world = dir.file("w.sav");
    history_log log;
    auto s = lived(0);
    ASSERT_EQ(history_open(log, world, s->life, false, true), "");
    ASSERT_EQ(log.path, world + ".history.csv");

    const auto start = std::chrono::steady_clock::now();
    const std::clock_t cpu_start = std::clock();
    const uint64_t count = 1000000;
    const long long row_bytes = (long long)history_row_text(row_at(count)).size() + 1;
    uint64_t exhaustion = 0, cull = 0, food = 0;
    int thinnings = 0;
    for (uint64_t n = 1; n <= count; n++) {
        const history_row r = row_at(n);
        exhaustion += r.births_exhaustion;
        cull += r.births_cull;
        food += r.food_eaten;
        const size_t before = log.rows.size();
        std::string why;
        ASSERT_TRUE(history_append(log, r, &why)) << why;
        thinnings += log.rows.size() <= before;
        ASSERT_LE(file_size(log.path), (long long)history_max_bytes + (log.rows.size() <= before ? 0 : row_bytes));
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    // The processor's time: a busy disk only delays the flushes of the rewrites.
    const double cpu_seconds = (double)(std::clock() - cpu_start) / CLOCKS_PER_SEC;
    std::cout << "appending " << count << " rows took " << cpu_seconds << " s of processor time, " << seconds
              << " s in all\n";
    EXPECT_GT(thinnings, 100);

    ASSERT_LE(file_size(log.path), history_max_bytes + row_bytes);
    EXPECT_GT(file_size(log.path), history_max_bytes / 2);
    EXPECT_EQ(history_row_text(log.rows.front()), history_row_text(row_at(1)));
    EXPECT_EQ(log.rows.back().steps, 1000 * count);
    uint64_t kept_exhaustion = 0, kept_cull = 0, kept_food = 0;
    for (const history_row &r : log.rows) {
        kept_exhaustion += r.births_exhaustion;
        kept_cull += r.births_cull;
        kept_food += r.food_eaten;
    }
    EXPECT_EQ(kept_exhaustion, exhaustion);
    EXPECT_EQ(kept_cull, count);
    EXPECT_EQ(kept_food, food);
    EXPECT_EQ(log.at_births_exhaustion, exhaustion);
    EXPECT_EQ(log.at_food_eaten, food);

    // The rows in memory are the file's, and the file reads back as the program wrote it.
    std::string whole = history_header() + "\n";
    for (const std::string &line : texts(log.rows))
        whole += line + "\n";
    EXPECT_EQ(read_bytes(log.path), whole);
    history_log again;
    s->life.steps = 1000 * count;
    const auto read_start = std::chrono::steady_clock::now();
    EXPECT_EQ(history_open(again, world, s->life, false, true), "");
    const double read_seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - read_start).count();
    EXPECT_EQ(texts(again.rows), texts(log.rows));
    std::cout << again.rows.size() << " rows read in " << read_seconds << " s\n";
    EXPECT_EQ(dir.names(), std::vector<std::string>{"w.sav.history.csv"});
}

TEST(history_open, drops_rows_beyond_the_steps_and_a_torn_last_line_silently)
{
    scratch_folder dir;
    const std::string world = dir.file("w.sav"), path = world + ".history.csv";
    const std::string five = history_bytes(5);
    write_bytes(path, five + history_row_text(row_at(6)).substr(0, 30)); // an append that was killed
    history_log log;
    EXPECT_EQ(history_open(log, world, lived(5000)->life, false, true), "");
    EXPECT_EQ(texts(log.rows), texts({row_at(1), row_at(2), row_at(3), row_at(4), row_at(5)}));
    EXPECT_EQ(read_bytes(path), five);

    // A crash rolled the world back to the save at step 3000.
    EXPECT_EQ(history_open(log, world, lived(3000)->life, false, true), "");
    EXPECT_EQ(read_bytes(path), history_bytes(3));
    std::string why;
    ASSERT_TRUE(history_append(log, row_at(4), &why)) << why;
    EXPECT_EQ(read_bytes(path), history_bytes(4));
    EXPECT_EQ(dir.names(), std::vector<std::string>{"w.sav.history.csv"});
}

TEST(history_open, sets_a_damaged_or_foreign_file_aside_without_loss_and_begins_anew)
{
    scratch_folder dir;
    const std::string world = dir.file("w.sav"), path = world + ".history.csv";
    std::vector<std::string> lines = split_lines(history_bytes(4));
    lines[2] = lines[2].substr(0, 40) + "x" + lines[2].substr(41);
    const std::string damaged = join_lines(lines);
    write_bytes(path, damaged);
    history_log log;
    auto s = lived(9000);
    EXPECT_EQ(history_open(log, world, s->life, false, true),
              "the world's history " + path + " is damaged (line 3 is not a row), so it was set aside as " + world +
                  ".history.bad.csv; a new one begins");
    EXPECT_TRUE(log.rows.empty());
    EXPECT_EQ(read_bytes(world + ".history.bad.csv"), damaged);
    EXPECT_FALSE(file_exists(path));
    // The new file takes the world file's permissions.
    write_bytes(world, "a world");
    ASSERT_EQ(chmod(world.c_str(), 0604), 0);
    std::string why;
    ASSERT_TRUE(history_append(log, row_at(9), &why)) << why;
    EXPECT_EQ(read_bytes(path), history_bytes(1, 9));
    struct stat st;
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0604u);

    const std::string foreign = "name,age\nbob,3\n";
    write_bytes(path, foreign);
    EXPECT_EQ(history_open(log, world, s->life, false, true),
              "the world's history " + path +
                  " is not one this program wrote (its first line is not the header), so it was set aside as " +
                  world + ".history.bad.2.csv; a new one begins");
    EXPECT_EQ(read_bytes(world + ".history.bad.csv"), damaged);
    EXPECT_EQ(read_bytes(world + ".history.bad.2.csv"), foreign);
    EXPECT_EQ(dir.names(), (std::vector<std::string>{"w.sav", "w.sav.history.bad.2.csv", "w.sav.history.bad.csv"}));
}

TEST(history_open, restarted_counters_and_a_new_world_set_the_file_aside_under_old_names)
{
    scratch_folder dir;
    const std::string world = dir.file("w.sav"), path = world + ".history.csv";
    write_bytes(path, history_bytes(3));
    write_bytes(world + ".history.old.csv", "kept\n");
    history_log log;
    auto s = lived(0);
    EXPECT_EQ(history_open(log, world, s->life, true, true),
              "the world's counters restarted, so its history begins anew: the old one was set aside as " + world +
                  ".history.old.2.csv");
    EXPECT_TRUE(log.rows.empty());
    EXPECT_EQ(read_bytes(world + ".history.old.2.csv"), history_bytes(3));
    std::string why;
    ASSERT_TRUE(history_append(log, row_at(1), &why)) << why;
    ASSERT_TRUE(history_append(log, row_at(2), &why)) << why;
    EXPECT_EQ(read_bytes(path), history_bytes(2));

    // F12: a new world, whose counters begin at zero again.
    write_bytes(world + ".history.old.3.csv", "kept too\n");
    s->life.births_cull = 5;
    EXPECT_EQ(history_set_aside(log, s->life),
              "the world's history was set aside as " + world + ".history.old.4.csv; the new world's begins");
    EXPECT_TRUE(log.rows.empty());
    EXPECT_EQ(log.at_births_cull, 5u);
    EXPECT_EQ(log.at_births_exhaustion, 0u);
    EXPECT_EQ(read_bytes(world + ".history.old.csv"), "kept\n");
    EXPECT_EQ(read_bytes(world + ".history.old.3.csv"), "kept too\n");
    EXPECT_EQ(read_bytes(world + ".history.old.4.csv"), history_bytes(2));
    EXPECT_FALSE(file_exists(path));
    EXPECT_EQ(history_set_aside(log, s->life), "");
    ASSERT_TRUE(history_append(log, row_at(7), &why)) << why;
    EXPECT_EQ(read_bytes(path), history_bytes(1, 7));
    EXPECT_EQ(dir.names().size(), 5u);
}

TEST(history_open, without_writing_only_reads_and_a_name_that_is_no_file_means_no_history)
{
    scratch_folder dir;
    const std::string world = dir.file("w.sav"), path = world + ".history.csv";
    const std::string torn = history_bytes(5) + "2026-12";
    write_bytes(path, torn);
    const std::string orphan = dir.file(".w.sav.history.csv.4242-1.tmp");
    write_bytes(orphan, "left by a killed write");
    const auto before = dir.names();
    history_log log;
    EXPECT_EQ(history_open(log, world, lived(4000)->life, false, false), "");
    EXPECT_EQ(texts(log.rows), texts({row_at(1), row_at(2), row_at(3), row_at(4)}));
    std::string why;
    EXPECT_TRUE(history_append(log, row_at(6), &why));
    EXPECT_EQ(history_open(log, world, lived(4000)->life, true, false), "");
    EXPECT_TRUE(log.rows.empty());
    write_bytes(path, "damaged\n");
    EXPECT_EQ(history_open(log, world, lived(4000)->life, false, false), "");
    EXPECT_TRUE(log.rows.empty());
    EXPECT_EQ(dir.names(), before);
    EXPECT_EQ(read_bytes(path), "damaged\n");
    EXPECT_EQ(read_bytes(orphan), "left by a killed write");

    // Writable: the orphan goes; a FIFO or a link in the history's place is never written through.
    ASSERT_EQ(unlink(path.c_str()), 0);
    ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
    EXPECT_EQ(history_open(log, world, lived(4000)->life, false, true),
              "the world's history " + path + " is not a regular file, so no history is kept in this run");
    EXPECT_FALSE(file_exists(orphan));
    EXPECT_TRUE(history_append(log, row_at(1), &why));
    ASSERT_EQ(unlink(path.c_str()), 0);
    write_bytes(dir.file("elsewhere.csv"), history_bytes(2));
    ASSERT_EQ(symlink("elsewhere.csv", path.c_str()), 0);
    EXPECT_EQ(history_open(log, world, lived(4000)->life, false, true),
              "the world's history " + path + " is not a regular file, so no history is kept in this run");
    EXPECT_TRUE(history_append(log, row_at(3), &why));
    EXPECT_EQ(read_bytes(dir.file("elsewhere.csv")), history_bytes(2));
}
