/* A slow disk for the program under test (LD_PRELOAD): fsync and fdatasync wait SLOW_FSYNC_SECONDS first. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <stdlib.h>
#include <time.h>

/* Only a run that asks for it is slowed; a signal caught meanwhile does not cut the wait short. */
static void wait_like_a_slow_disk(void)
{
    const char *seconds = getenv("SLOW_FSYNC_SECONDS");
    struct timespec left = {seconds ? atoi(seconds) : 0, 0};
    while ((left.tv_sec > 0 || left.tv_nsec > 0) && nanosleep(&left, &left) != 0 && errno == EINTR)
        ;
}

typedef int (*sync_fn)(int);

/* The real call, found once, after the wait. */
static int slowly(sync_fn *real, const char *name, int fd)
{
    if (!*real)
        *real = (sync_fn)dlsym(RTLD_NEXT, name);
    wait_like_a_slow_disk();
    return (*real)(fd);
}

int fsync(int fd)
{
    static sync_fn real;
    return slowly(&real, "fsync", fd);
}

int fdatasync(int fd)
{
    static sync_fn real;
    return slowly(&real, "fdatasync", fd);
}
