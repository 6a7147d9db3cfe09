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

/* The file each run's folder holds from its making: what tells a folder a
   run made from one of the same shape that someone else made. */
static const char kRunMark[] = ".yelkpack-run";
/* What a run ever makes in its folder. */
static const char *const kRunFiles[] = {kRunMark, "yelk.tmp"};

/* Removes the files a run makes in its folder, then the folder, all relative
   to descriptors; anything else in it keeps it, and is not touched. */
static void RemoveFolderAt(int parent, const char *name, int folder)
{
    for (const char *file : kRunFiles)
        unlinkat(folder, file, 0);
    unlinkat(parent, name, AT_REMOVEDIR);
}

/* Folders of this user's earlier runs whose lock nobody holds: those runs
   were killed before they could remove them. Only a folder that a run
   provably made (this user's, mode 0700, holding the run's mark) is one. */
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
        struct stat st, mark;
        if (fstatat(parent, e->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISDIR(st.st_mode) ||
            st.st_uid != geteuid() || (st.st_mode & 077) != 0)
            continue;
        int folder = openat(parent, e->d_name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (folder < 0)
            continue;
        if (fstatat(folder, kRunMark, &mark, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(mark.st_mode) &&
            mark.st_uid == geteuid() && flock(folder, LOCK_EX | LOCK_NB) == 0)
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
        int locked = fd >= 0 && flock(fd, LOCK_EX | LOCK_NB) == 0;
        int markFd = locked ? openat(fd, kRunMark, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600) : -1;
        if (markFd >= 0) {
            close(markFd);
            runFolder = made;
            runFolderFd = fd;
            continue;
        }
        int why = errno;
        if (fd >= 0) {
            if (locked)
                unlinkat(AT_FDCWD, made, AT_REMOVEDIR);
            close(fd);
        }
        /* A file system without locks: no attempt would do better. */
        if (why == ENOLCK) {
            errno = why;
            return 0;
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
