/* The private temporary folder of a headless installation (see runtemp.h). */
#include "tools/runtemp.h"

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <string>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "common/posix/posix_platform.h"

static const char kFolderPrefix[] = "yelkpack-";

static std::string runFolder;   /* empty while there is none */
static int runFolderFd = -1;    /* holds the folder's lock */
static volatile sig_atomic_t stopSignal;

static const int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

static void NoteStopSignal(int sig)
{
    stopSignal = sig;
    /* The next one ends the run at once. */
    for (int s : kStopSignals)
        signal(s, SIG_DFL);
}

static std::string TempBase()
{
    const char *base = getenv("TMPDIR");
    return base && *base ? base : "/tmp";
}

/* Removes the files in a folder and the folder, all relative to descriptors:
   nothing but files is ever made in a run's folder. */
static void RemoveFolderAt(int parent, const char *name, int folder)
{
    if (DIR *d = fdopendir(dup(folder))) {
        while (dirent *e = readdir(d))
            if (strcmp(e->d_name, ".") != 0 && strcmp(e->d_name, "..") != 0)
                unlinkat(folder, e->d_name, 0);
        closedir(d);
    }
    unlinkat(parent, name, AT_REMOVEDIR);
}

/* Folders of this user's earlier runs whose lock nobody holds: those runs
   were killed before they could remove them. */
static void SweepDeadRuns(const std::string &base)
{
    int parent = open(base.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (parent < 0)
        return;
    DIR *d = fdopendir(dup(parent));
    while (d) {
        dirent *e = readdir(d);
        if (!e)
            break;
        if (strncmp(e->d_name, kFolderPrefix, sizeof kFolderPrefix - 1) != 0)
            continue;
        struct stat st;
        if (fstatat(parent, e->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISDIR(st.st_mode) ||
            st.st_uid != geteuid() || (st.st_mode & 077) != 0)
            continue;
        int folder = openat(parent, e->d_name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (folder < 0)
            continue;
        if (flock(folder, LOCK_EX | LOCK_NB) == 0)
            RemoveFolderAt(parent, e->d_name, folder);
        close(folder);
    }
    if (d)
        closedir(d);
    close(parent);
}

int MakeRunTempFolder()
{
    std::string base = TempBase();
    SweepDeadRuns(base);
    std::string pattern = base + "/" + kFolderPrefix + "XXXXXX";
    if (pattern.size() >= PATH_MAX)
        return 0;
    /* A run locks its folder right after making it; a sweep by another run
       that came in between holds the lock and removes the folder, and this
       run then makes another. */
    for (int attempt = 0; runFolderFd < 0; attempt++) {
        char made[PATH_MAX];
        strcpy(made, pattern.c_str());
        if (attempt == 100 || !mkdtemp(made))
            return 0;
        int fd = open(made, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (fd >= 0 && flock(fd, LOCK_EX | LOCK_NB) == 0) {
            runFolder = made;
            runFolderFd = fd;
        } else if (fd >= 0) {
            close(fd);
        }
    }
    stopSignal = 0;
    struct sigaction action {};
    action.sa_handler = NoteStopSignal;
    sigemptyset(&action.sa_mask);
    for (int sig : kStopSignals)
        sigaction(sig, &action, nullptr);
    SetTempFolder(runFolder);
    return 1;
}

void RemoveRunTempFolder()
{
    if (runFolder.empty())
        return;
    std::string base = runFolder.substr(0, runFolder.rfind('/'));
    int parent = open(base.empty() ? "/" : base.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    std::string name = runFolder.substr(runFolder.rfind('/') + 1);
    if (parent >= 0 && runFolderFd >= 0)
        RemoveFolderAt(parent, name.c_str(), runFolderFd);
    if (parent >= 0)
        close(parent);
    if (runFolderFd >= 0)
        close(runFolderFd);
    runFolderFd = -1;
    runFolder.clear();
    SetTempFolder("");
}

int StopSignalSeen() { return stopSignal; }

void EndByStopSignal()
{
    int sig = stopSignal;
    if (sig == 0)
        return;
    signal(sig, SIG_DFL);
    raise(sig);
}
