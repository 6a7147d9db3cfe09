/* POSIX implementation of the file-system half of the platform interface. */
#include "common/platform.h"
#include "common/posix/posix_platform.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

void (*beforeFileChange)(const char *path);

static void AboutToChange(const char *path)
{
    if (beforeFileChange)
        beforeFileChange(path);
}

static std::string driveRoot;
static std::string programPath;
static std::string tempFolder;

/* Where a path's last name is looked up: a folder descriptor (or AT_FDCWD)
   and the name in it. See ResolvePath at the end of this file. */
struct ResolvedPath {
    int dir = -1;        /* -1: the path cannot be used (errno says why) */
    std::string leaf;
    bool owned = false;  /* dir was opened for this path and is closed after */
};
static ResolvedPath ResolvePath(const std::string &linuxPath);
static void ReleasePath(ResolvedPath *path);
static int IsProgramFile(const struct stat &st);

void SetDriveRoot(const std::string &folder) { driveRoot = folder; }
void SetTempFolder(const std::string &linuxFolder) { tempFolder = linuxFolder; }
static bool programKnown;
static dev_t programDevice;
static ino_t programInode;

void SetProgramPath(const std::string &windowsPath)
{
    programPath = windowsPath;
    /* The installer being read is never written, replaced or deleted by the
       run, whatever name it is reached by. */
    struct stat st;
    programKnown = !windowsPath.empty() && stat(ToLinuxPath(windowsPath).c_str(), &st) == 0;
    if (programKnown) {
        programDevice = st.st_dev;
        programInode = st.st_ino;
    }
}

static std::string TempBase()
{
    const char *t = getenv("TMPDIR");
    return (t && *t) ? std::string(t) : std::string("/tmp");
}

std::string ToWindowsPath(const std::string &linuxPath)
{
    std::string abs = linuxPath;
    if (abs.empty() || abs[0] != '/') {
        char cwd[4096];
        if (getcwd(cwd, sizeof cwd))
            abs = std::string(cwd) + "/" + abs;
    }
    std::string out = "z:";
    for (char c : abs)
        out += (c == '/') ? '\\' : c;
    return out;
}

std::string ToLinuxPath(const std::string &windowsPath)
{
    std::string rest;
    std::string prefix;
    if (windowsPath.size() >= 2 && windowsPath[1] == ':' && isalpha((unsigned char)windowsPath[0])) {
        char letter = (char)tolower((unsigned char)windowsPath[0]);
        rest = windowsPath.substr(2);
        if (letter != 'z') {
            std::string root = driveRoot.empty() ? TempBase() + "/yelk-drives" : driveRoot;
            prefix = root + "/" + letter;
            mkdir(root.c_str(), 0777);
            mkdir(prefix.c_str(), 0777);
        }
    } else {
        rest = windowsPath;
    }
    for (char &c : rest)
        if (c == '\\')
            c = '/';
    if (!prefix.empty() && (rest.empty() || rest[0] != '/'))
        rest = "/" + rest;
    return prefix + rest;
}

FILE *OpenFileStream(const char *path, const char *mode)
{
    /* Only regular files are opened (a folder for reading, which fails at
       the first read): a FIFO or a device found at a name the run uses would
       block it or never end. The open itself cannot block
       (O_NONBLOCK until the file is known to be regular); a link inside the
       confined folder is never followed, and a file is emptied only once it
       is known to be a regular file other than the installer. */
    bool write = strchr(mode, 'w') != nullptr, append = strchr(mode, 'a') != nullptr;
    bool update = strchr(mode, '+') != nullptr;
    int flags = (write || append) ? (update ? O_RDWR : O_WRONLY) | O_CREAT : update ? O_RDWR : O_RDONLY;
    if (append)
        flags |= O_APPEND;
    ResolvedPath where = ResolvePath(ToLinuxPath(path));
    if (where.dir == -1)
        return nullptr;
    int fd = openat(where.dir, where.leaf.c_str(), flags | O_NONBLOCK | O_CLOEXEC | (where.owned ? O_NOFOLLOW : 0),
                    0666);
    ReleasePath(&where);
    if (fd < 0)
        return nullptr;
    struct stat st;
    bool ok = fstat(fd, &st) == 0 && (S_ISREG(st.st_mode) || (S_ISDIR(st.st_mode) && flags == O_RDONLY));
    if (ok && (write || append || update) && IsProgramFile(st))
        ok = false;
    if (!ok)
        errno = EINVAL;
    if (ok && write && ftruncate(fd, 0) != 0)
        ok = false;
    if (ok)
        ok = fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK) == 0;
    FILE *stream = ok ? fdopen(fd, mode) : nullptr;
    if (!stream) {
        int saved = errno;
        close(fd);
        errno = saved;
    }
    return stream;
}
int GetProgramPath(char *out, int size)
{
    if (programPath.empty() || (int)programPath.size() >= size)
        return 0;
    strcpy(out, programPath.c_str());
    return (int)programPath.size();
}

int GetTempFolder(char *out, int size)
{
    std::string t = ToWindowsPath(tempFolder.empty() ? TempBase() : tempFolder);
    if (t.empty() || t.back() != '\\')
        t += '\\';
    if ((int)t.size() >= size)
        return 0;
    strcpy(out, t.c_str());
    return (int)t.size();
}

int PathExists(const char *path)
{
    ResolvedPath where = ResolvePath(ToLinuxPath(path));
    struct stat st;
    int found = where.dir != -1 && fstatat(where.dir, where.leaf.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0;
    ReleasePath(&where);
    return found;
}

PathKindResult PathKind(const char *path)
{
    ResolvedPath where = ResolvePath(ToLinuxPath(path));
    struct stat st;
    PathKindResult kind = kPathNone;
    if (where.dir != -1 && fstatat(where.dir, where.leaf.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0)
        kind = S_ISREG(st.st_mode) ? kPathFile : S_ISDIR(st.st_mode) ? kPathFolder : kPathSpecial;
    ReleasePath(&where);
    return kind;
}

int ClearAttributes(const char *path)
{
    /* The POSIX stand-in for read-only is a missing owner write bit. A link
       has no such bit of its own, and what it points to is never touched. */
    ResolvedPath where = ResolvePath(ToLinuxPath(path));
    if (where.dir == -1)
        return 0;
    struct stat st;
    int ok = 0;
    if (fstatat(where.dir, where.leaf.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
        ok = 0;
    } else if (S_ISLNK(st.st_mode)) {
        ok = 1;
    } else if (S_ISREG(st.st_mode) || S_ISDIR(st.st_mode)) {
        /* Changed through a descriptor of the file itself, so that a link
           put there after the look cannot redirect it. */
        int fd = openat(where.dir, where.leaf.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd >= 0) {
            struct stat now;
            ok = fstat(fd, &now) == 0 && fchmod(fd, now.st_mode | S_IWUSR) == 0;
            close(fd);
        } else if (errno == EACCES) {
            /* A file its owner cannot read: only that owner can change it. */
            ok = fchmodat(where.dir, where.leaf.c_str(), st.st_mode | S_IWUSR, 0) == 0;
        }
    }
    ReleasePath(&where);
    return ok;
}

int ClearReadOnly(const char *path)
{
    /* Only read-only has a POSIX stand-in, so this is ClearAttributes. */
    return ClearAttributes(path);
}

int DeleteFileAt(const char *path)
{
    AboutToChange(path);
    ResolvedPath where = ResolvePath(ToLinuxPath(path));
    if (where.dir == -1)
        return 0;
    struct stat st;
    int ok = fstatat(where.dir, where.leaf.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && !S_ISDIR(st.st_mode) &&
             !IsProgramFile(st);
    /* Windows refuses to delete a read-only file; so do we. */
    if (ok && !S_ISLNK(st.st_mode) && !(st.st_mode & S_IWUSR))
        ok = 0;
    if (ok)
        ok = unlinkat(where.dir, where.leaf.c_str(), 0) == 0;
    ReleasePath(&where);
    return ok;
}

int MoveFileTo(const char *from, const char *to)
{
    AboutToChange(to);
    ResolvedPath source = ResolvePath(ToLinuxPath(from));
    ResolvedPath target = ResolvePath(ToLinuxPath(to));
    int ok = source.dir != -1 && target.dir != -1;
    if (ok) {
        /* Never onto anything that stands at to, as MoveFileA: where the
           file system has no such rename, a link and an unlink do the same. */
        ok = renameat2(source.dir, source.leaf.c_str(), target.dir, target.leaf.c_str(), RENAME_NOREPLACE) == 0;
        if (!ok && errno == EINVAL)
            ok = linkat(source.dir, source.leaf.c_str(), target.dir, target.leaf.c_str(), 0) == 0 &&
                 unlinkat(source.dir, source.leaf.c_str(), 0) == 0;
    }
    ReleasePath(&source);
    ReleasePath(&target);
    return ok;
}

int MakeFolder(const char *path)
{
    AboutToChange(path);
    ResolvedPath where = ResolvePath(ToLinuxPath(path));
    int ok = where.dir != -1 && mkdirat(where.dir, where.leaf.c_str(), 0777) == 0;
    ReleasePath(&where);
    return ok;
}

int RemoveFolder(const char *path)
{
    AboutToChange(path);
    ResolvedPath where = ResolvePath(ToLinuxPath(path));
    int ok = where.dir != -1 && unlinkat(where.dir, where.leaf.c_str(), AT_REMOVEDIR) == 0;
    ReleasePath(&where);
    return ok;
}

/* ---- Confinement to the destination folder ---- */

/* The folder a run is confined to, as a Linux path without a trailing slash,
   and its descriptor once opened. */
static std::string confinedPath;
static int confinedFd = -1;

void ConfineToFolder(const std::string &linuxFolder)
{
    if (confinedFd >= 0)
        close(confinedFd);
    confinedFd = -1;
    confinedPath = linuxFolder;
    while (confinedPath.size() > 1 && confinedPath.back() == '/')
        confinedPath.pop_back();
}

int LockConfinedFolder(bool createdByRun)
{
    if (confinedPath.empty())
        return -1;
    if (confinedFd < 0) {
        /* A folder this run made is opened without following a link: one put
           in its place since cannot redirect the run. */
        confinedFd = open(confinedPath.c_str(),
                          O_RDONLY | O_DIRECTORY | O_NONBLOCK | O_CLOEXEC | (createdByRun ? O_NOFOLLOW : 0));
        if (confinedFd < 0)
            return -1;
    }
    if (flock(confinedFd, LOCK_EX | LOCK_NB) != 0)
        return errno == EWOULDBLOCK ? 0 : -2;
    return 1;
}

static int IsProgramFile(const struct stat &st)
{
    return programKnown && st.st_dev == programDevice && st.st_ino == programInode;
}

/* A path inside the confined folder is looked up from the folder's
   descriptor, one name at a time, never through a link and never by "..": a
   link planted at any name inside is the link itself, and nothing the run
   does reaches outside the folder. Other paths are used as they are. */
static ResolvedPath ResolvePath(const std::string &linuxPath)
{
    ResolvedPath r;
    const std::string &base = confinedPath;
    bool inside = !base.empty() && linuxPath.size() > base.size() + 1 &&
                  linuxPath.compare(0, base.size(), base) == 0 &&
                  (linuxPath[base.size()] == '/' || base == "/");
    if (!inside) {
        r.dir = AT_FDCWD;
        r.leaf = linuxPath;
        return r;
    }
    if (confinedFd < 0) {
        confinedFd = open(base.c_str(), O_RDONLY | O_DIRECTORY | O_NONBLOCK | O_CLOEXEC);
        if (confinedFd < 0)
            return r;
    }
    std::vector<std::string> names;
    size_t at = base.size();
    while (at < linuxPath.size()) {
        size_t end = linuxPath.find('/', at + 1);
        if (end == std::string::npos)
            end = linuxPath.size();
        std::string name = linuxPath.substr(at, end - at);
        if (!name.empty() && name[0] == '/')
            name.erase(0, 1);
        if (name == "..") {
            errno = EPERM;
            return r;
        }
        if (!name.empty() && name != ".")
            names.push_back(name);
        at = end;
    }
    if (names.empty()) {
        r.dir = AT_FDCWD;
        r.leaf = linuxPath;
        return r;
    }
    int dir = confinedFd;
    for (size_t k = 0; k + 1 < names.size(); k++) {
        int next = openat(dir, names[k].c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (dir != confinedFd)
            close(dir);
        if (next < 0)
            return r;
        dir = next;
    }
    r.dir = dir;
    r.leaf = names.back();
    r.owned = true;
    return r;
}

static void ReleasePath(ResolvedPath *path)
{
    if (path->owned && path->dir >= 0 && path->dir != confinedFd)
        close(path->dir);
    path->dir = -1;
}

/* O_EXCL with O_CREAT never opens what already stands at the name: neither a
   file, nor a link (which is not followed), nor a FIFO. */
static FILE *OpenCreated(const std::string &linuxPath)
{
    ResolvedPath where = ResolvePath(linuxPath);
    if (where.dir == -1)
        return nullptr;
    int fd = openat(where.dir, where.leaf.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    FILE *f = fd < 0 ? nullptr : fdopen(fd, "wb");
    if (fd >= 0 && f == nullptr) {
        close(fd);
        unlinkat(where.dir, where.leaf.c_str(), 0);
    }
    ReleasePath(&where);
    return f;
}

FILE *CreateNewFile(const char *path)
{
    AboutToChange(path);
    return OpenCreated(ToLinuxPath(path));
}

int FolderExists(const char *path)
{
    struct stat st;
    return stat(ToLinuxPath(path).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}
