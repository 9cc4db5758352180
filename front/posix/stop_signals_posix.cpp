// Stop requests from outside the program: SIGTERM (a screen-saver host, a session ending), SIGHUP, SIGINT.
#include "platform.h"

#include "handover.h"

#include <csignal>

#include <pthread.h>

static sigset_t previous_mask;

static void stop_on_signal(int) { handover_stop(); }

void stop_signals_hold()
{
    sigset_t stop;
    sigemptyset(&stop);
    sigaddset(&stop, SIGTERM);
    sigaddset(&stop, SIGHUP);
    sigaddset(&stop, SIGINT);
    pthread_sigmask(SIG_BLOCK, &stop, &previous_mask);
}

void stop_signals_take()
{
    struct sigaction sa = {};
    sa.sa_handler = stop_on_signal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGHUP, &sa, nullptr);
    sigaction(SIGINT, &sa, nullptr);
    pthread_sigmask(SIG_SETMASK, &previous_mask, nullptr);
}
