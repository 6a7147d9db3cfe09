// Shared pieces of the engine and backup tests: a sandbox of real folders per
// test (destination, temporary folder, drive root), test payloads built with
// the packer's encoder, and a driver that runs an installation as the wizard
// does, minus the windows.
#ifndef YELK_TESTS_ENGINE_FIXTURE_H
#define YELK_TESTS_ENGINE_FIXTURE_H

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <sys/time.h>
#include <ftw.h>
#include <functional>
#include <string>
#include <cerrno>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "common/platform.h"
#include "common/posix/posix_platform.h"
#include "common/posix/ui_record.h"
#include "common/session.h"
#include "payload/extract.h"
#include "payload/lzhuf.h"
#include "payload/progress.h"
#include "tests/support/filebytes.h"
#include "tools/lzhenc.h"
#include "payload/destdir.h"

namespace enginetest {

using testsupport::Bytes;

extern const char *const kNames[kMemberCount];

inline Bytes ReadAll(const std::string &path) { return testsupport::ReadFileBytes(path); }

inline void WriteAll(const std::string &path, const Bytes &data)
{
    ASSERT_TRUE(testsupport::WriteFileBytes(path, data)) << path;
}

inline bool Exists(const std::string &path)
{
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
}

inline bool FolderIsEmpty(const std::string &path)
{
    bool empty = true;
    if (DIR *d = opendir(path.c_str())) {
        while (dirent *e = readdir(d))
            if (strcmp(e->d_name, ".") != 0 && strcmp(e->d_name, "..") != 0)
                empty = false;
        closedir(d);
    }
    return empty;
}

/* The names in a folder, sorted. */
inline std::vector<std::string> FolderNames(const std::string &path)
{
    std::vector<std::string> names;
    if (DIR *d = opendir(path.c_str())) {
        while (dirent *e = readdir(d))
            if (strcmp(e->d_name, ".") != 0 && strcmp(e->d_name, "..") != 0)
                names.push_back(e->d_name);
        closedir(d);
    }
    std::sort(names.begin(), names.end());
    return names;
}

inline struct timespec ModTime(const std::string &path)
{
    struct stat st {};
    stat(path.c_str(), &st);
    return st.st_mtim;
}

inline void SetOldModTime(const std::string &path)
{
    struct timeval times[2] = {{1000000000, 0}, {1000000000, 0}};
    utimes(path.c_str(), times);
}

inline Bytes Text(const std::string &s) { return Bytes(s.begin(), s.end()); }

/* Deterministic content for member index of a client "version": a binary
   first member big enough to span several slices, text for the others. */
Bytes MemberContent(int index, int version);
std::vector<Bytes> ClientFiles(int version);

/* One member stream of data, greedy parse (fast, and any parse decodes alike). */
Bytes Encode(const Bytes &data);
/* Streams of every file of a set. */
std::vector<Bytes> EncodeAll(const std::vector<Bytes> &files);
/* What LzhDecode makes of a member stream (through real temporary files). */
Bytes Decode(const Bytes &stream);
/* Bytes that stand ahead of the payload in an installer file: no marker. */
Bytes ImageBytes(size_t size, uint32_t seed);

/* Removes a folder tree. */
void RemoveTree(const std::string &path);

class EngineFixture : public ::testing::Test {
protected:
    std::string root;     /* the sandbox */
    std::string tmp;      /* TMPDIR of the test */
    std::string dest;     /* destination folder (Linux form) */
    std::vector<long> consumed;  /* bytes each slice that returned 3 consumed */

    void SetUp() override;
    void TearDown() override;

    /* Points the run at a destination folder (Linux path). */
    void SetDest(const std::string &linuxPath);
    std::string DestFile(const char *name) const { return dest + "/" + name; }
    std::string BackupFile(const char *name) const { return dest + "/backup/" + name; }

    /* Writes an installer file (image + payload) into the sandbox; its path. */
    std::string WriteInstaller(const Bytes &bytes, const char *name = "setup.bin");
    /* Sets the member checks (memberChecks) to the sizes and CRCs of files,
       as the packer records them for the installer. */
    static void SetChecks(const std::vector<Bytes> &files);
    /* An installer file of a client version, with some image bytes ahead;
       the member checks are set to its files. */
    std::string InstallerOf(const std::vector<Bytes> &files, size_t imageSize = 3000);

    /* Runs what the Install button runs (PrepareInstallRun), but opens the
       installer file at offset 0 without its check, then PumpExtraction until it returns
       something other than 3, and CleanupInstall when the run failed (and
       [7] when that could not undo everything, as the wizard says it).
       sliceBytes, when given, sets how many bytes each call may consume
       (cycling through the list) by presetting sliceCount; afterSlice, when
       given, is called after each call. Returns the last result of
       PumpExtraction, or -1 when the folder could not be made. */
    int RunInstall(const std::string &file, const std::vector<int> &sliceBytes = {},
                   const std::function<void()> &afterSlice = nullptr);

    /* Expects the ten member files in the destination to hold files. */
    void ExpectInstalled(const std::vector<Bytes> &files);
};

// A small tmpfs mounted for one test, unmounted when it goes.
class SmallVolume {
public:
    explicit SmallVolume(const std::string &path) : path_(path)
    {
        mkdir(path.c_str(), 0777);
        if (mount("tmpfs", path.c_str(), "tmpfs", 0, "size=256k") == 0)
            mounted_ = true;
        else
            why_ = std::string("cannot mount a tmpfs (needs root): ") + strerror(errno);
    }
    ~SmallVolume()
    {
        if (mounted_)
            umount2(path_.c_str(), MNT_DETACH);
    }
    bool mounted() const { return mounted_; }
    const std::string &why() const { return why_; }

    /* Fills the volume to the last byte with a file of its own. */
    void Fill()
    {
        FILE *f = fopen((path_ + "/filler").c_str(), "wb");
        ASSERT_NE(f, nullptr);
        setvbuf(f, nullptr, _IONBF, 0);
        static const char block[512] = {};
        while (fwrite(block, 1, sizeof block, f) == sizeof block) {
        }
        while (fwrite(block, 1, 1, f) == 1) {
        }
        fclose(f);
    }

private:
    std::string path_;
    bool mounted_ = false;
    std::string why_;
};

}  // namespace enginetest

#endif
