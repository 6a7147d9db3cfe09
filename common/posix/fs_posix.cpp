/* POSIX implementation of the file-system half of the platform interface. */
#include "common/platform.h"
#include "common/posix/posix_platform.h"

#include <cctype>
#include <cerrno>
#include <fcntl.h>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

static std::string driveRoot;
static std::string programPath;
static std::string tempFolder;

void SetDriveRoot(const std::string &folder) { driveRoot = folder; }
void SetTempFolder(const std::string &linuxFolder) { tempFolder = linuxFolder; }
void SetProgramPath(const std::string &windowsPath) { programPath = windowsPath; }

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
    return fopen(ToLinuxPath(path).c_str(), mode);
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
    struct stat st;
    return lstat(ToLinuxPath(path).c_str(), &st) == 0;
}

int ClearAttributes(const char *path)
{
    /* The POSIX stand-in for read-only is a missing owner write bit. */
    std::string p = ToLinuxPath(path);
    struct stat st;
    if (stat(p.c_str(), &st) != 0)
        return 0;
    return chmod(p.c_str(), st.st_mode | S_IWUSR) == 0;
}

int ClearReadOnly(const char *path)
{
    /* Only read-only has a POSIX stand-in, so this is ClearAttributes. */
    return ClearAttributes(path);
}

int DeleteFileAt(const char *path)
{
    std::string p = ToLinuxPath(path);
    struct stat st;
    if (lstat(p.c_str(), &st) != 0 || S_ISDIR(st.st_mode))
        return 0;
    /* Windows refuses to delete a read-only file; so do we. */
    if (!S_ISLNK(st.st_mode) && !(st.st_mode & S_IWUSR))
        return 0;
    return unlink(p.c_str()) == 0;
}

int MoveFileReplacing(const char *from, const char *to)
{
    std::string f = ToLinuxPath(from), t = ToLinuxPath(to);
    struct stat st;
    if (lstat(t.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
        return 0;
    return rename(f.c_str(), t.c_str()) == 0;
}

int MakeFolder(const char *path)
{
    return mkdir(ToLinuxPath(path).c_str(), 0777) == 0;
}

int RemoveFolder(const char *path)
{
    return rmdir(ToLinuxPath(path).c_str()) == 0;
}

/* O_EXCL with O_CREAT never opens what already stands at the name: neither a
   file, nor a link (which is not followed), nor a FIFO. */
static FILE *OpenCreated(const std::string &linuxPath)
{
    int fd = open(linuxPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0)
        return nullptr;
    FILE *f = fdopen(fd, "wb");
    if (f == nullptr) {
        close(fd);
        unlink(linuxPath.c_str());
    }
    return f;
}

FILE *CreateNewFile(const char *path)
{
    return OpenCreated(ToLinuxPath(path));
}

int FolderExists(const char *path)
{
    struct stat st;
    return stat(ToLinuxPath(path).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}
