// Derives the save file's path from the name the program was started by.
#include "save_path.h"

#include "file_system.h"

std::string save_path_from(const char *argv0)
{
    std::string path = argv0 ? argv0 : "";
    // Without a folder the name came from PATH (or nowhere) and would resolve against whatever
    // folder the program was started in; the executable's real location is the same every time.
    if (fs_name_start(path) == 0) {
        const std::string exe = fs_own_executable();
        if (!exe.empty())
            path = exe;
    }
    if (path.empty())
        path = "life";

    const size_t name_start = fs_name_start(path);
    const size_t dot = path.rfind('.');
    // Only a dot inside the file name, and not its leading one (".life" is a hidden file, not an extension).
    if (dot != std::string::npos && dot > name_start)
        path.erase(dot);
    return path + ".sav";
}
