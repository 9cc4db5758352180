// What the two file-system layers share: the bounded whole-file read and the making of folders, each
// written once over a few calls every platform provides.  Only the layers include this.
#pragma once

#include "file_system.h"

// Reads an open regular file that reported `size` bytes: refused unread when larger than max_bytes,
// and read one byte past the bound, so a file that grew meanwhile is caught as well.
// read_some(context, buffer, n) reads at most n bytes and returns how many, 0 at the end, or -1
// with the error number in *err.
fs_read fs_read_bounded(long long size, long long max_bytes, long (*read_some)(void *context, char *buffer,
                                                                                 size_t n, int *err),
                        void *context);

// The platform's halves of fs_make_folders: whether the path is a folder (0), missing (ENOENT) or
// something else (ENOTDIR); and making one folder whose parent exists, private to the user.
int fs_folder_state(const std::string &path);
int fs_make_one_folder(const std::string &path);
