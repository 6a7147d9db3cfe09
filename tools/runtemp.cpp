/* The private temporary folder of a headless installation (see runtemp.h). */
#include "tools/runtemp.h"

#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <string>
#include <unistd.h>

#include "common/posix/posix_platform.h"
#include "common/session.h"

/* The folder, as a Linux path; empty while there is none. A signal handler
   reads it, so it lives in a fixed buffer. */
static char runFolder[PATH_MAX];
/* Where the handler builds the Linux path of the core's temporary file. */
static char signalPath[PATH_MAX];

static const int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

/* A stop signal: removes the member file the core is filling and the folder
   (only calls that are safe in a handler), then lets the signal end the
   process as it would have. The core's temporary path is a z: path, which is
   the Linux path with backslashes. */
static void RemoveOnSignal(int sig)
{
    if (runFolder[0] != '\0') {
        const char *t = session.tempPath;
        if ((t[0] == 'z' || t[0] == 'Z') && t[1] == ':') {
            size_t n = 0;
            for (const char *p = t + 2; *p != '\0' && n + 1 < sizeof signalPath; p++)
                signalPath[n++] = *p == '\\' ? '/' : *p;
            signalPath[n] = '\0';
            unlink(signalPath);
        }
        rmdir(runFolder);
    }
    signal(sig, SIG_DFL);
    raise(sig);
}

int MakeRunTempFolder()
{
    const char *base = getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/yelkpack-XXXXXX";
    if (pattern.size() >= sizeof runFolder)
        return 0;
    char made[PATH_MAX];
    strcpy(made, pattern.c_str());
    if (!mkdtemp(made))
        return 0;
    strcpy(runFolder, made);
    struct sigaction action {};
    action.sa_handler = RemoveOnSignal;
    sigemptyset(&action.sa_mask);
    for (int sig : kStopSignals)
        sigaction(sig, &action, nullptr);
    SetTempFolder(runFolder);
    return 1;
}

void RemoveRunTempFolder()
{
    if (runFolder[0] == '\0')
        return;
    for (int sig : kStopSignals)
        signal(sig, SIG_DFL);
    /* The core deletes its file after each member; a run that failed may have
       left one. Nothing but files is ever made in here. */
    if (DIR *d = opendir(runFolder)) {
        while (dirent *e = readdir(d))
            if (strcmp(e->d_name, ".") != 0 && strcmp(e->d_name, "..") != 0)
                unlink((std::string(runFolder) + "/" + e->d_name).c_str());
        closedir(d);
    }
    rmdir(runFolder);
    runFolder[0] = '\0';
    SetTempFolder("");
}
