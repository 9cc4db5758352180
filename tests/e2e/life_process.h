// The program under test: a copy of it in a private folder, started, watched and stopped.
#pragma once

#include "test_support.h"

#include <string>
#include <vector>

// The program under test and the headless runner: LIFE_BIN / LIFE_BENCH, or the ones built beside the tests.
const char *life_bin();
const char *life_bench();

// Links the program (life_bin()) into the folder as `name` and returns its path.
std::string program_in(const scratch_folder &dir, const std::string &name);

// How a run is started beyond the usual, as a system at odds with the program might start it.
struct start_options {
    std::vector<int> closed;               // descriptors closed before the start (`2>&-`)
    int output_fd = -1;                    // given as both standard output and error (a pipe, say)
    long long file_size_limit = -1;        // RLIMIT_FSIZE in bytes; -1 for none
    std::vector<std::string> environment;  // NAME=VALUE added for the program only
};

// One run of the program; killed if still running when destroyed.
struct life_process {
    // With `display` false the program is started with no DISPLAY at all.  Its stderr goes to
    // `stderr_to`, by default beside the program.  With `user_home`, it runs as the unprivileged user
    // `nobody` with that HOME (and no XDG_DATA_HOME), as on a user's desk where not every folder is
    // writable; tests run as root, for whom every permission check passes.
    life_process(const std::string &program, const std::vector<std::string> &args = {}, bool display = true,
                 const std::string &stderr_to = "", const std::string &user_home = "",
                 const start_options &options = start_options());
    ~life_process();
    life_process(const life_process &) = delete;
    life_process &operator=(const life_process &) = delete;

    bool running();
    // Waits up to `timeout_ms` for the exit; true once it has ended.
    bool wait_exit(int timeout_ms);
    void signal(int sig);
    std::string error_output() const;
    // What its threads are doing (gdb), for the message of a test that found it stuck.
    std::string thread_stacks() const;

    int pid = -1;
    bool ended = false;
    int exit_code = -1; // the exit status, or -1 when killed by a signal
    std::string stderr_path;
};

// The unprivileged user programs run as with `user_home`.
enum : unsigned { nobody_uid = 65534, nobody_gid = 65534 };

// A folder `nobody` may read and enter but not write, holding a copy of the program under `name`
// (root's build folders are not that user's to read); its path, or empty on failure.
std::string read_only_program_folder(const scratch_folder &dir, const std::string &name);
// A home folder of nobody's own inside `dir`.
std::string nobody_home(const scratch_folder &dir);


// Calls `condition` until it holds or `timeout_ms` pass; true when it held.
template <class F> bool poll_until(F condition, int timeout_ms);

void sleep_ms(int ms);
long now_ms();

template <class F> bool poll_until(F condition, int timeout_ms)
{
    const long end = now_ms() + timeout_ms;
    for (;;) {
        if (condition())
            return true;
        if (now_ms() > end)
            return false;
        sleep_ms(50);
    }
}
