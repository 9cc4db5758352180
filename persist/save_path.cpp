// Derives the save file's path from the name the program was started by.
#include "save_path.h"

#include <cstring>

#include <unistd.h>

// The executable's own path, or an empty string when the system cannot tell.
static std::string own_executable()
{
    std::string buffer(256, '\0');
    for (;;) {
        const ssize_t n = readlink("/proc/self/exe", &buffer[0], buffer.size());
        if (n < 0)
            return std::string();
        if ((size_t)n < buffer.size()) {
            buffer.resize((size_t)n);
            return buffer;
        }
        buffer.resize(buffer.size() * 2); // possibly cut short: try again with more room
    }
}

std::string save_path_from(const char *argv0)
{
    std::string path = argv0 ? argv0 : "";
    // Without a folder the name came from PATH (or nowhere) and would resolve against whatever
    // folder the program was started in; the executable's real location is the same every time.
    if (path.find('/') == std::string::npos) {
        const std::string exe = own_executable();
        if (!exe.empty())
            path = exe;
    }
    if (path.empty())
        path = "life";

    const size_t slash = path.rfind('/');
    const size_t name_start = slash == std::string::npos ? 0 : slash + 1;
    const size_t dot = path.rfind('.');
    // Only a dot inside the file name, and not its leading one (".life" is a hidden file, not an extension).
    if (dot != std::string::npos && dot > name_start)
        path.erase(dot);
    return path + ".sav";
}
