// The headless runner as other tools use it: repeatable results and strict arguments.
#include "test_support.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

struct run_result {
    int status;
    std::string out;
};

// Runs life-bench with the given arguments and returns its exit status and all its output.
static run_result bench(const std::string &args)
{
    const char *exe = std::getenv("LIFE_BENCH");
    EXPECT_NE(exe, nullptr) << "LIFE_BENCH names the runner";
    const std::string cmd = std::string(exe ? exe : "life-bench") + " " + args + " 2>&1";
    FILE *p = popen(cmd.c_str(), "r");
    std::string out;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0)
        out.append(buf, n);
    const int st = pclose(p);
    return {WIFEXITED(st) ? WEXITSTATUS(st) : -1, out};
}

TEST(bench, same_run_gives_the_same_file)
{
    const scratch_folder scratch;
    const std::string &dir = scratch.path;
    const run_result a = bench("--steps 20000 --event-every 2000 --save " + dir + "/a.sav");
    const run_result b = bench("--steps 20000 --event-every 2000 --save " + dir + "/b.sav");
    ASSERT_EQ(a.status, 0) << a.out;
    ASSERT_EQ(b.status, 0) << b.out;
    const std::string fa = read_bytes(dir + "/a.sav");
    EXPECT_GT(fa.size(), 100000u);
    EXPECT_TRUE(fa == read_bytes(dir + "/b.sav"));
    // The last line reports the rate.
    const size_t last = a.out.rfind("steps/s: ", a.out.size() - 1);
    ASSERT_NE(last, std::string::npos);
    EXPECT_EQ(a.out.find('\n', last), a.out.size() - 1);

    // Loading that world and saving it again gives the same world and the same counters beside it.
    const run_result c = bench("--load " + dir + "/a.sav --steps 0 --save " + dir + "/c.sav");
    ASSERT_EQ(c.status, 0) << c.out;
    EXPECT_TRUE(fa == read_bytes(dir + "/c.sav"));
    const std::string counters = read_bytes(dir + "/a.sav.stats");
    EXPECT_NE(counters.find("\nsteps 20000\n"), std::string::npos) << counters;
    EXPECT_EQ(read_bytes(dir + "/c.sav.stats"), counters);

    // A second run goes on from the first's world and counters; its history has a row per event and
    // one at the end, whose counts are what the counters gained.
    const run_result e = bench("--load " + dir + "/a.sav --steps 11000 --event-every 2000 --save " + dir +
                               "/e.sav --history " + dir + "/e.csv");
    ASSERT_EQ(e.status, 0) << e.out;
    const std::string later = read_bytes(dir + "/e.sav.stats");
    const auto counter = [](const std::string &text, const char *name) {
        const size_t at = text.find(std::string("\n") + name + " ");
        return at == std::string::npos ? ~0ull : std::strtoull(text.c_str() + at + std::strlen(name) + 2, nullptr, 10);
    };
    const std::vector<std::string> rows = split_lines(read_bytes(dir + "/e.csv"));
    ASSERT_EQ(rows.size(), 1u + 5 + 1);
    EXPECT_EQ(rows[0].compare(0, 18, "utc,seconds,steps,"), 0) << rows[0];
    unsigned long long exhausted = 0, culled = 0, food = 0, steps = 0;
    for (size_t k = 1; k < rows.size(); k++) {
        unsigned long long v[6];
        ASSERT_EQ(std::sscanf(rows[k].c_str(), "%*[^,],%llu,%llu,%llu,%llu,%llu,%llu,%llu", &v[0], &steps, &v[1], &v[2],
                              &v[3], &v[4], &v[5]),
                  7)
            << rows[k];
        exhausted += v[3];
        culled += v[4];
        food += v[5];
    }
    EXPECT_EQ(steps, 31000u);
    EXPECT_EQ(counter(later, "steps"), 31000u);
    EXPECT_EQ(culled, 5u);
    EXPECT_EQ(counter(later, "births_cull"), 15u);
    EXPECT_EQ(exhausted, counter(later, "births_exhaustion") - counter(counters, "births_exhaustion"));
    EXPECT_EQ(food, counter(later, "food_eaten") - counter(counters, "food_eaten"));
}

TEST(bench, population_and_missing_load_file)
{
    const scratch_folder scratch;
    const std::string &dir = scratch.path;
    const run_result r = bench("--population 10 --steps 50 --load " + dir + "/none.sav --save " + dir + "/p.sav");
    ASSERT_EQ(r.status, 0) << r.out;
    const std::vector<std::string> lines = split_lines(read_bytes(dir + "/p.sav"));
    ASSERT_EQ((long)lines.size(), save_file_lines(field_max_width, field_max_height, 10));
    EXPECT_EQ(lines[save_file_lines(field_max_width, field_max_height, 0) - 1], "10");

    // A benchmark moves nothing of the user's: a file it refuses stays under its name.
    write_bytes(dir + "/bad.sav", "not a world\n");
    const run_result bad = bench("--steps 0 --load " + dir + "/bad.sav");
    EXPECT_EQ(bad.status, 0) << bad.out;
    EXPECT_NE(bad.out.find("refused"), std::string::npos) << bad.out;
    EXPECT_EQ(scratch.names(), (std::vector<std::string>{"bad.sav", "p.sav", "p.sav.stats"}));
}

TEST(bench, bad_arguments_exit_2_with_usage)
{
    for (const char *args : {"--population 1", "--population 51", "--population x", "--steps", "--steps -5",
                             "--event-every 0", "--steps 10x", "--load", "--frobnicate 3"}) {
        SCOPED_TRACE(args);
        const run_result r = bench(args);
        EXPECT_EQ(r.status, 2);
        EXPECT_NE(r.out.find("usage: life-bench"), std::string::npos) << r.out;
    }
}
