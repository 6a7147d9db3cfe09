/* Catching a child process at a chosen point (stopchild.h). */
#include "tests/support/stopchild.h"

#include <csignal>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

namespace testsupport {

static long NowMs()
{
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return now.tv_sec * 1000L + now.tv_nsec / 1000000L;
}

Caught StopChildWhen(pid_t child, const std::function<bool()> &ready, int limitMs, int *status)
{
    long end = NowMs() + limitMs;
    for (;;) {
        kill(child, SIGSTOP);
        if (waitpid(child, status, WUNTRACED) != child || !WIFSTOPPED(*status))
            return Caught::kEnded;
        if (ready())
            return Caught::kStopped;
        if (NowMs() > end)
            return Caught::kTimedOut;
        kill(child, SIGCONT);
        usleep(250);
    }
}

int SignalStoppedChild(pid_t child, int sig)
{
    /* A stop signal stays pending while the child is stopped and is taken
       first thing once it goes on; SIGKILL ends it where it stands. */
    kill(child, sig);
    kill(child, SIGCONT);
    int status = 0;
    waitpid(child, &status, 0);
    return status;
}

}  // namespace testsupport
