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

int fsync(int fd)
{
    static int (*real_fsync)(int);
    if (!real_fsync)
        real_fsync = (int (*)(int))dlsym(RTLD_NEXT, "fsync");
    wait_like_a_slow_disk();
    return real_fsync(fd);
}

int fdatasync(int fd)
{
    static int (*real_fdatasync)(int);
    if (!real_fdatasync)
        real_fdatasync = (int (*)(int))dlsym(RTLD_NEXT, "fdatasync");
    wait_like_a_slow_disk();
    return real_fdatasync(fd);
}
