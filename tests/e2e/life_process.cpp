// The program under test: a copy of it in a private folder, started, watched and stopped.
#include "life_process.h"

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include <fcntl.h>
#include <grp.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

const char *life_bin()
{
    const char *env = std::getenv("LIFE_BIN");
    return env && *env ? env : LIFE_BIN_DEFAULT;
}

const char *life_bench()
{
    const char *env = std::getenv("LIFE_BENCH");
    return env && *env ? env : LIFE_BENCH_DEFAULT;
}

std::string program_in(const scratch_folder &dir, const std::string &name)
{
    const std::string link = dir.file(name);
    std::filesystem::create_symlink(std::filesystem::absolute(life_bin()), link);
    return link;
}

life_process::life_process(const std::string &program, const std::vector<std::string> &args, bool display,
                           const std::string &stderr_to, const std::string &user_home,
                           const start_options &options)
{
    stderr_path = stderr_to.empty() ? program + ".stderr" : stderr_to;
    pid = fork();
    if (pid == 0) {
        // Stopped with the test even when the test itself is killed (a time-out).
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        int err = open(stderr_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (err >= 0)
            dup2(err, 2);
        if (err > 2)
            close(err);
        if (options.output_fd >= 0) {
            dup2(options.output_fd, 1);
            dup2(options.output_fd, 2);
        }
        for (int fd : options.closed)
            close(fd);
        if (options.file_size_limit >= 0) {
            const struct rlimit limit = {(rlim_t)options.file_size_limit, (rlim_t)options.file_size_limit};
            setrlimit(RLIMIT_FSIZE, &limit);
        }
        for (const std::string &variable : options.environment)
            putenv(const_cast<char *>(variable.c_str()));
        if (!display)
            unsetenv("DISPLAY");
        if (!user_home.empty()) {
            setenv("HOME", user_home.c_str(), 1);
            unsetenv("XDG_DATA_HOME");
            if (setgroups(0, nullptr) != 0 || setgid(nobody_gid) != 0 || setuid(nobody_uid) != 0)
                _exit(126);
        }
        std::vector<char *> argv;
        argv.push_back(const_cast<char *>(program.c_str()));
        for (const std::string &a : args)
            argv.push_back(const_cast<char *>(a.c_str()));
        argv.push_back(nullptr);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
}

life_process::~life_process()
{
    if (pid > 0 && !ended) {
        kill(pid, SIGKILL);
        int status;
        waitpid(pid, &status, 0);
    }
}

bool life_process::running()
{
    if (pid <= 0 || ended)
        return false;
    int status;
    pid_t r = waitpid(pid, &status, WNOHANG);
    if (r == pid) {
        ended = true;
        exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        return false;
    }
    return r == 0;
}

bool life_process::wait_exit(int timeout_ms)
{
    poll_until([this] { return !running(); }, timeout_ms);
    return ended;
}

void life_process::signal(int sig)
{
    if (pid > 0 && !ended)
        kill(pid, sig);
}

std::string life_process::error_output() const { return read_bytes(stderr_path); }

std::string life_process::thread_stacks() const
{
    if (pid <= 0 || ended)
        return std::string();
    const std::string command = "gdb -p " + std::to_string(pid) +
                                " -batch -ex 'thread apply all bt 12' 2>/dev/null | grep -E '^(#|Thread)'";
    std::string out;
    if (FILE *pipe = popen(command.c_str(), "r")) {
        char buf[4096];
        size_t n;
        while ((n = fread(buf, 1, sizeof buf, pipe)) > 0)
            out.append(buf, n);
        pclose(pipe);
    }
    return out;
}

std::string read_only_program_folder(const scratch_folder &dir, const std::string &name)
{
    namespace fs = std::filesystem;
    const std::string folder = dir.file("installed");
    std::error_code ec;
    fs::create_directory(folder, ec);
    fs::copy_file(fs::canonical(life_bin()), folder + "/" + name, fs::copy_options::overwrite_existing, ec);
    // The scratch folder itself is mkdtemp's 0700: nobody must be able to pass through it.
    chmod(dir.path.c_str(), 0755);
    chmod(folder.c_str(), 0755);
    chmod((folder + "/" + name).c_str(), 0755);
    return ec ? std::string() : folder;
}

std::string nobody_home(const scratch_folder &dir)
{
    const std::string home = dir.file("home");
    std::error_code ec;
    std::filesystem::create_directory(home, ec);
    chmod(dir.path.c_str(), 0755);
    if (ec || chown(home.c_str(), nobody_uid, nobody_gid) != 0)
        return std::string();
    return home;
}

void sleep_ms(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

long now_ms()
{
    using namespace std::chrono;
    return (long)duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}
