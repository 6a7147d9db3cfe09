/*
 * Catching a child process at a chosen point of its run: it is stopped
 * (SIGSTOP) each time the test looks, so what the test sees is the state the
 * child is in when the test then signals it, and a child that ended first is
 * told apart from one that did not end by the test's signal.
 */
#ifndef YELK_TESTS_SUPPORT_STOPCHILD_H
#define YELK_TESTS_SUPPORT_STOPCHILD_H

#include <functional>
#include <sys/types.h>

namespace testsupport {

enum class Caught {
    kStopped,   /* ready() held; the child is stopped, alive */
    kEnded,     /* the child ended before ready() held (its wait status in *status) */
    kTimedOut   /* ready() did not hold within the limit; the child is stopped */
};

/* Lets the child run until ready() holds, looking every quarter millisecond
   with the child stopped; then leaves it stopped. */
Caught StopChildWhen(pid_t child, const std::function<bool()> &ready, int limitMs, int *status);

/* Sends sig to a child caught stopped, lets it go on and waits for its end:
   its wait status. */
int SignalStoppedChild(pid_t child, int sig);

}  // namespace testsupport

#endif
