// The headless runner as other tools use it: repeatable results and strict arguments.
#include "test_support.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
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

    // Loading that world and running on gives the same as running on in one go.
    const run_result c = bench("--load " + dir + "/a.sav --steps 0 --save " + dir + "/c.sav");
    ASSERT_EQ(c.status, 0) << c.out;
    EXPECT_TRUE(fa == read_bytes(dir + "/c.sav"));
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
    EXPECT_EQ(scratch.names(), (std::vector<std::string>{"bad.sav", "p.sav"}));
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
