// yelkpack run as root over folders that others can write: links, FIFOs and
// other runs' files planted at the names a run uses, two runs at once, runs
// stopped by a signal or killed, and odd names and inputs. Whatever stands in
// the destination, nothing the tool writes, moves, deletes or re-attributes
// reaches outside it, and nothing it opens blocks it.
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <map>
#include <string>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "common/session.h"
#include "payload/extract.h"
#include "tests/support/filebytes.h"
#include "tests/support/stopchild.h"
#include "tools/lzhenc.h"

using testsupport::Bytes;
using testsupport::Caught;
using testsupport::SignalStoppedChild;
using testsupport::StopChildWhen;
using testsupport::ReadFileBytes;
using testsupport::WriteFileBytes;

uint32_t ExpectedPayloadCrc() { return 0; }

namespace {

struct RunResult {
    int code;   /* exit code; 128 + n when ended by signal n; 124 when it hung */
    std::string out, err;
};

bool IsLink(const std::string &path)
{
    struct stat st;
    return lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

bool Exists(const std::string &path)
{
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
}

std::vector<std::string> Entries(const std::string &folder)
{
    std::vector<std::string> names;
    if (DIR *d = opendir(folder.c_str())) {
        while (dirent *e = readdir(d))
            if (strcmp(e->d_name, ".") != 0 && strcmp(e->d_name, "..") != 0)
                names.push_back(e->d_name);
        closedir(d);
    }
    return names;
}

/* What a folder holds outside the destination: each file's bytes and mode. */
std::map<std::string, std::pair<Bytes, mode_t>> Snapshot(const std::string &folder)
{
    std::map<std::string, std::pair<Bytes, mode_t>> files;
    for (const std::string &name : Entries(folder)) {
        struct stat st;
        std::string path = folder + "/" + name;
        if (lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode))
            files[name] = {ReadFileBytes(path), st.st_mode & 07777};
        else
            files[name] = {Bytes(), st.st_mode};
    }
    return files;
}

class Hostile : public ::testing::Test {
protected:
    std::string root, tmp, payload, crcHex;

    void SetUp() override
    {
        char tmpl[] = "/tmp/yelk-hostile-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        root = tmpl;
        tmp = root + "/tmp";
        mkdir(tmp.c_str(), 0700);
        payload = root + "/p.bin";
        RunResult p = Run("pack " YELK_SAMPLES_DIR " -o '" + payload + "' --crc-header '" + root + "/p.h'");
        ASSERT_EQ(p.code, 0) << p.err;
        Bytes h = ReadFileBytes(root + "/p.h");
        std::string header(h.begin(), h.end());
        size_t at = header.find("YELK_PAYLOAD_CRC 0x");
        ASSERT_NE(at, std::string::npos);
        crcHex = header.substr(at + 19, 8);
    }
    void TearDown() override
    {
        std::string cmd = "chmod -R u+w '" + root + "' 2>/dev/null; rm -rf '" + root + "'";
        (void)system(cmd.c_str());
    }

    /* Runs yelkpack with args (a shell command line) with $TMPDIR in the
       sandbox; a run that has not ended after limit seconds is killed (124). */
    RunResult Run(const std::string &args, int limit = 60, const std::string &env = "") const
    {
        std::string cmd = env + "TMPDIR='" + tmp + "' timeout -s KILL " + std::to_string(limit) + " '" YELKPACK "' " + args +
                          " >'" + root + "/stdout' 2>'" + root + "/stderr' </dev/null";
        int status = system(cmd.c_str());
        int code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        if (code == 137)
            code = 124;
        Bytes out = ReadFileBytes(root + "/stdout"), err = ReadFileBytes(root + "/stderr");
        return {code, std::string(out.begin(), out.end()), std::string(err.begin(), err.end())};
    }

    RunResult Extract(const std::string &dest, const std::string &options = "", int limit = 60) const
    {
        return Run("extract '" + payload + "' '" + dest + "' --crc " + crcHex + " " + options, limit);
    }

    void ExpectInstalled(const std::string &dest) const
    {
        for (const char *name : kMemberNames) {
            EXPECT_FALSE(IsLink(dest + "/" + name)) << name;
            EXPECT_TRUE(ReadFileBytes(dest + "/" + name) == ReadFileBytes(std::string(YELK_SAMPLES_DIR "/") + name))
                << name;
        }
    }
};

/* ---- Links planted in the destination ---- */

TEST_F(Hostile, NothingIsWrittenMovedOrReattributedThroughALink)
{
    // The victim folder stands outside the destination; each case plants a
    // link to it (or to a file in it) at a name the run uses.
    struct Case {
        const char *what;
        const char *link;      /* planted in the destination */
        const char *target;    /* in the victim folder; "" for the folder */
        const char *options;
        bool oldClient;        /* an earlier yelk32.exe in the destination */
        int code;              /* -1: see below */
    };
    const Case cases[] = {
        // After the temporary member name became one the run makes for itself,
        // this name is never used (0); before, opening it fails ([4]).
        {"link at the temporary member name", "yelk.new", "passwd", "", false, -1},
        {"backup folder is a link", "backup", "", "", true, 7},
        // A link at a member's name is refused before anything moves ([7]).
        {"link at a member's name, backups on", "yelk.hlp", "passwd", "", false, 7},
        {"link at a member's name, no backups", "about.txt", "passwd", "--no-backups", false, 7},
        {"link at a settings file's name", "yelk.ini", "passwd", "", false, 7},
        {"link at an index the run removes", "yelk.gid", "passwd", "", false, 0},
    };
    int run = 0;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        std::string victim = root + "/victim" + std::to_string(run);
        std::string dest = root + "/dest" + std::to_string(run++);
        mkdir(victim.c_str(), 0755);
        mkdir(dest.c_str(), 0755);
        WriteFileBytes(victim + "/passwd", Bytes{'r', 'o', 'o', 't'});
        WriteFileBytes(victim + "/yelk32.exe", Bytes{'k', 'e', 'e', 'p'});
        chmod((victim + "/passwd").c_str(), 0444);
        if (c.oldClient)
            WriteFileBytes(dest + "/yelk32.exe", Bytes{'o', 'l', 'd'});
        std::string target = *c.target ? victim + "/" + c.target : victim;
        ASSERT_EQ(symlink(target.c_str(), (dest + "/" + c.link).c_str()), 0);
        auto before = Snapshot(victim);

        RunResult r = Extract(dest, c.options);
        EXPECT_EQ(Snapshot(victim), before) << "the victim folder is as it was\n" << r.err;
        if (c.code == -1) {
            EXPECT_TRUE(r.code == 0 || r.code == 4) << r.code << " " << r.err;
        } else {
            EXPECT_EQ(r.code, c.code) << r.err;
        }
        if (r.code == 0) {
            ExpectInstalled(dest);
        } else {
            // Refused: the planted link is all there is, and as it was.
            std::vector<std::string> names = {c.link};
            if (c.oldClient)
                names.push_back("yelk32.exe");
            std::vector<std::string> found = Entries(dest);
            std::sort(names.begin(), names.end());
            std::sort(found.begin(), found.end());
            EXPECT_EQ(found, names);
            EXPECT_TRUE(IsLink(dest + "/" + c.link));
        }
        if (c.oldClient)
            EXPECT_TRUE(ReadFileBytes(dest + "/yelk32.exe") == (Bytes{'o', 'l', 'd'}));
    }
}

TEST_F(Hostile, ALinkInTheBackupFolderIsReplacedNotFollowed)
{
    std::string dest = root + "/dest", victim = root + "/victim";
    mkdir(victim.c_str(), 0755);
    ASSERT_EQ(Extract(dest).code, 0);
    WriteFileBytes(victim + "/passwd", Bytes{'r', 'o', 'o', 't'});
    chmod((victim + "/passwd").c_str(), 0444);
    mkdir((dest + "/backup").c_str(), 0755);
    ASSERT_EQ(symlink((victim + "/passwd").c_str(), (dest + "/backup/yelk32.exe").c_str()), 0);
    auto before = Snapshot(victim);
    RunResult r = Extract(dest);
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(Snapshot(victim), before);
    EXPECT_FALSE(IsLink(dest + "/backup/yelk32.exe")) << "the older backup, a link, was replaced";
    ExpectInstalled(dest);
}

TEST_F(Hostile, ADestinationThatIsAFileIsNoFolder)
{
    WriteFileBytes(root + "/file", Bytes{'x'});
    RunResult r = Extract(root + "/file");
    EXPECT_EQ(r.code, 1) << r.err;
    EXPECT_NE(r.err.find("[1]"), std::string::npos) << r.err;
    EXPECT_TRUE(ReadFileBytes(root + "/file") == Bytes{'x'});
}

/* ---- Two runs into one folder ---- */

TEST_F(Hostile, ASecondRunIntoAFolderInUseRefusesAtOnce)
{
    std::string dest = root + "/dest";
    mkdir(dest.c_str(), 0755);
    // Another run holds the folder.
    int fd = open(dest.c_str(), O_RDONLY | O_DIRECTORY);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(flock(fd, LOCK_EX), 0);
    RunResult r = Extract(dest, "", 20);
    EXPECT_EQ(r.code, 75) << r.err;
    EXPECT_NE(r.err.find("another run is installing into this folder"), std::string::npos) << r.err;
    EXPECT_TRUE(Entries(dest).empty()) << "nothing written into the other run's folder";
    close(fd);
    EXPECT_EQ(Extract(dest).code, 0) << "free again once the other run is gone";

    // Two real runs at once, repeatedly: each one either installs every file
    // or refuses; never a success with files missing or mixed up.
    for (int trial = 0; trial < 12; trial++) {
        SCOPED_TRACE(trial);
        std::string folder = root + "/race" + std::to_string(trial);
        std::string cmd = "cd '" + root + "' && for k in 1 2; do (TMPDIR='" + tmp + "' '" YELKPACK "' extract '" +
                          payload + "' '" + folder + "' --crc " + crcHex + " >/dev/null 2>&1; echo $? >code$k) & done; wait";
        ASSERT_EQ(system(cmd.c_str()), 0);
        int ok = 0;
        for (int k = 1; k <= 2; k++) {
            Bytes code = ReadFileBytes(root + "/code" + std::to_string(k));
            int value = atoi(std::string(code.begin(), code.end()).c_str());
            EXPECT_TRUE(value == 0 || value == 75) << value;
            ok += value == 0;
        }
        EXPECT_GE(ok, 1);
        ExpectInstalled(folder);
    }
}

/* ---- Names and inputs ---- */

TEST_F(Hostile, ABackslashIsNeverAWayOut)
{
    // From cwd/x, 'x\..\..\esc' read with backslashes as separators is two
    // folders up: root/esc.
    mkdir((root + "/cwd").c_str(), 0755);
    mkdir((root + "/cwd/x").c_str(), 0755);
    const std::vector<std::string> cases = {
        "extract '" + payload + "' 'x\\..\\..\\esc' --crc " + crcHex,
        "extract 'x\\..\\..\\p.bin' out --crc " + crcHex,
        "verify 'x\\..\\..\\p.bin'",
        "list 'x\\..\\..\\p.bin'",
    };
    for (const std::string &args : cases) {
        SCOPED_TRACE(args);
        std::string cmd = "cd '" + root + "/cwd' && TMPDIR='" + tmp + "' '" YELKPACK "' " + args + " >/dev/null 2>'" +
                          root + "/err'";
        int status = system(cmd.c_str());
        EXPECT_EQ(WEXITSTATUS(status), 64);
        Bytes err = ReadFileBytes(root + "/err");
        EXPECT_NE(std::string(err.begin(), err.end()).find("backslash"), std::string::npos)
            << std::string(err.begin(), err.end());
    }
    EXPECT_FALSE(Exists(root + "/esc"));
    EXPECT_FALSE(Exists(root + "/cwd/out"));
}

TEST_F(Hostile, AnInstallerThatIsNoRegularFileIsRefusedWithoutBlocking)
{
    std::string fifo = root + "/fifo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0644), 0);
    const std::string dashFolder = root + "/cwd";
    mkdir(dashFolder.c_str(), 0755);
    struct Case {
        const char *what;
        std::string file;
    } cases[] = {
        {"a FIFO", fifo},
        {"an endless device", "/dev/zero"},
        {"a folder", root},
        {"standard input", "-"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        for (const char *command : {"list", "verify", "extract"}) {
            SCOPED_TRACE(command);
            std::string args = std::string("cd '") + dashFolder + "' && '" YELKPACK "' " + command + " '" + c.file + "'";
            if (strcmp(command, "extract") == 0)
                args += " '" + root + "/dest' --crc " + crcHex;
            std::string cmd = "timeout -s KILL 10 sh -c \"" + args + "\" </dev/null >/dev/null 2>'" + root + "/err'";
            int status = system(cmd.c_str());
            EXPECT_EQ(WEXITSTATUS(status), 65) << "137 is a hang";
            Bytes err = ReadFileBytes(root + "/err");
            EXPECT_NE(std::string(err.begin(), err.end()).find("not a regular file"), std::string::npos)
                << std::string(err.begin(), err.end());
        }
        EXPECT_FALSE(Exists(root + "/dest"));
    }
}

TEST_F(Hostile, AFifoAtTheTemporaryMemberNameDoesNotBlock)
{
    std::string dest = root + "/dest";
    mkdir(dest.c_str(), 0755);
    ASSERT_EQ(mkfifo((dest + "/yelk.new").c_str(), 0644), 0);
    RunResult r = Extract(dest, "", 20);
    // Once the run makes a name of its own the FIFO is never opened (0);
    // before, opening it fails at once ([4]).
    EXPECT_TRUE(r.code == 0 || r.code == 4) << r.code << " (124: it hung) " << r.err;
    if (r.code == 0)
        ExpectInstalled(dest);
}

TEST_F(Hostile, ExtractNeverDeletesTheInstallerItReads)
{
    std::string dest = root + "/dest";
    mkdir(dest.c_str(), 0755);
    Bytes bytes = ReadFileBytes(payload);
    for (const char *name : {"yelk.new", "yelk32.exe", "about.txt"}) {
        SCOPED_TRACE(name);
        std::string inside = dest + "/" + name;
        WriteFileBytes(inside, bytes);
        RunResult r = Run("extract '" + inside + "' '" + dest + "' --crc " + crcHex + " --no-backups");
        struct stat st;
        bool there = false;
        // The installer stays whole under its name, or (when the run put a
        // member there) whole in no other place is acceptable only if the run
        // succeeded and wrote the member over it.
        if (r.code != 0) {
            there = stat(inside.c_str(), &st) == 0;
            EXPECT_TRUE(there) << r.err;
            EXPECT_TRUE(ReadFileBytes(inside) == bytes) << r.err;
        }
        for (const std::string &n : Entries(dest))
            unlink((dest + "/" + n).c_str());
    }
}

/* ---- Runs that end early ---- */

/* A payload whose first member takes a while to decode: 64 MB of short runs. */
std::string BigPayload(const std::string &root, std::string *crcHex, bool bigHelp = false)
{
    std::string folder = root + "/big";
    std::string cmd = "cp -r '" YELK_SAMPLES_DIR "' '" + folder + "'";
    if (system(cmd.c_str()) != 0)
        return "";
    Bytes big;
    for (size_t i = 0; big.size() < (64u << 20); i++)
        big.insert(big.end(), 3 + i % 61, (uint8_t)(i * 37));
    WriteFileBytes(folder + "/yelk32.exe", big);
    if (bigHelp)
        WriteFileBytes(folder + "/yelk.hlp", big);
    std::string pack = "'" YELKPACK "' pack '" + folder + "' -o '" + root + "/big.bin' --crc-header '" + root +
                       "/big.h' --greedy >/dev/null";
    if (system(pack.c_str()) != 0)
        return "";
    Bytes h = ReadFileBytes(root + "/big.h");
    std::string header(h.begin(), h.end());
    *crcHex = header.substr(header.find("YELK_PAYLOAD_CRC 0x") + 19, 8);
    return root + "/big.bin";
}

TEST_F(Hostile, AStopSignalDuringADecodeLeavesNothingOfTheRun)
{
    std::string bigCrc;
    std::string big = BigPayload(root, &bigCrc);
    ASSERT_FALSE(big.empty());
    for (int sig : {SIGINT, SIGTERM}) {
        SCOPED_TRACE(strsignal(sig));
        std::string dest = root + "/d" + std::to_string(sig);
        fflush(nullptr);
        pid_t child = fork();
        if (child == 0) {
            setenv("TMPDIR", tmp.c_str(), 1);
            int null = open("/dev/null", O_WRONLY);
            dup2(null, 1);
            dup2(null, 2);
            execl(YELKPACK, YELKPACK, "extract", big.c_str(), dest.c_str(), "--crc", bigCrc.c_str(), (char *)nullptr);
            _exit(98);
        }
        // Caught while the first member is being decoded into the destination:
        // a megabyte of it is there, whatever the names the run uses.
        auto decoding = [&] {
            off_t bytes = 0;
            struct stat st;
            for (const std::string &name : Entries(dest))
                if (lstat((dest + "/" + name).c_str(), &st) == 0 && S_ISREG(st.st_mode))
                    bytes += st.st_size;
            return bytes > (1 << 20);
        };
        int status = 0;
        ASSERT_EQ(StopChildWhen(child, decoding, 20000, &status), Caught::kStopped) << "no member file appeared";
        status = SignalStoppedChild(child, sig);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == sig)
            << "ends by the signal, as it would have; " << (WIFEXITED(status) ? "exit " : "status ")
            << (WIFEXITED(status) ? WEXITSTATUS(status) : status);
        EXPECT_FALSE(Exists(dest)) << "the folder it made, with what it decoded, is gone";
        EXPECT_TRUE(Entries(tmp).empty()) << "its private temporary folder is gone";
    }
}

TEST_F(Hostile, AStoppedRunThatCannotBeUndoneSaysSoAndTheNextFinishesIt)
{
    // Stopped while it decodes yelk.hlp, once the yelk32.exe it wrote was
    // made read-only: the run cannot remove that file, so it says which file
    // stopped it, keeps its journal and exits 76 instead of claiming what it
    // wrote is removed. Writable again, the next run undoes it and installs.
    std::string bigCrc;
    std::string big = BigPayload(root, &bigCrc, true);
    ASSERT_FALSE(big.empty());
    std::string dest = root + "/dest";
    fflush(nullptr);
    pid_t child = fork();
    if (child == 0) {
        setenv("TMPDIR", tmp.c_str(), 1);
        int err = open((root + "/stopped.err").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(err, 2);
        execl(YELKPACK, YELKPACK, "extract", big.c_str(), dest.c_str(), "--crc", bigCrc.c_str(), (char *)nullptr);
        _exit(98);
    }
    bool placed = false;
    for (int i = 0; i < 40000 && !placed; i++) {
        placed = Exists(dest + "/yelk32.exe");
        if (!placed)
            usleep(250);
    }
    ASSERT_TRUE(placed) << "yelk32.exe never took its name";
    ASSERT_EQ(chmod((dest + "/yelk32.exe").c_str(), 0444), 0);
    kill(child, SIGTERM);
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status)) << "ended by a signal, as if all were undone";
    EXPECT_EQ(WEXITSTATUS(status), 76);
    Bytes err = ReadFileBytes(root + "/stopped.err");
    std::string said(err.begin(), err.end());
    EXPECT_NE(said.find(dest + "/yelk32.exe"), std::string::npos) << said;
    EXPECT_EQ(said.find("is removed"), std::string::npos) << said;
    EXPECT_TRUE(Exists(dest + "/yelkundo.jnl"));
    EXPECT_TRUE(Entries(tmp).empty()) << "its private temporary folder is gone";

    chmod((dest + "/yelk32.exe").c_str(), 0644);
    RunResult r = Run("extract '" + big + "' '" + dest + "' --crc " + bigCrc);
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_FALSE(Exists(dest + "/yelkundo.jnl"));
    std::vector<std::string> names = Entries(dest);
    EXPECT_EQ(names.size(), (size_t)kMemberCount) << "nothing of the stopped run is left";
}

TEST_F(Hostile, AFolderThatCannotBeLockedIsRefusedBeforeAnythingIsDone)
{
    // On a file system without locks a second run could undo this one's
    // journal under it: the run says why and touches nothing, not even the
    // journal a killed run left there.
    std::string dest = root + "/dest";
    ASSERT_EQ(mkdir(dest.c_str(), 0755), 0);
    WriteFileBytes(dest + "/yelkundo.jnl", Bytes{'Y', 'K', 'U', '2'});
    WriteFileBytes(dest + "/yelk32.exe", Bytes{'o', 'l', 'd'});
    auto before = Snapshot(dest);
    RunResult r = Run("extract '" + payload + "' '" + dest + "' --crc " + crcHex, 60, "LD_PRELOAD='" NOLOCKS "' ");
    EXPECT_EQ(r.code, 74) << r.err;
    EXPECT_NE(r.err.find("cannot be locked (No locks available)"), std::string::npos) << r.err;
    EXPECT_EQ(Snapshot(dest), before);
    r = Run("extract '" + payload + "' '" + root + "/new' --crc " + crcHex, 60, "LD_PRELOAD='" NOLOCKS "' ");
    EXPECT_EQ(r.code, 74) << r.err;
    EXPECT_FALSE(Exists(root + "/new")) << "the folder it made goes again";
}

TEST_F(Hostile, OnlyFoldersARunMadeAreSwept)
{
    // A folder of the same shape as a run's (this user's, mode 0700, named
    // yelkpack-*) that a run did not make is the user's: an extract leaves
    // it and what is in it alone, even as its destination, where the user's
    // settings file stays as the user chose.
    std::string mine = tmp + "/yelkpack-mine01", dest = tmp + "/yelkpack-dest01";
    for (const std::string &f : {mine, dest})
        ASSERT_EQ(mkdir(f.c_str(), 0700), 0);
    WriteFileBytes(mine + "/notes.txt", Bytes{'m', 'i', 'n', 'e'});
    WriteFileBytes(mine + "/yelk.tmp", Bytes{'t', 'o', 'o'});
    WriteFileBytes(dest + "/yelk.ini", Bytes{'k', 'e', 'p', 't'});
    RunResult r = Extract(dest);
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.out.find("9 files installed"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("1 left in place"), std::string::npos) << r.out;
    EXPECT_TRUE(ReadFileBytes(dest + "/yelk.ini") == (Bytes{'k', 'e', 'p', 't'}));
    EXPECT_TRUE(ReadFileBytes(mine + "/notes.txt") == (Bytes{'m', 'i', 'n', 'e'}));
    EXPECT_TRUE(ReadFileBytes(mine + "/yelk.tmp") == (Bytes{'t', 'o', 'o'}));
}

TEST_F(Hostile, AKilledRunsTemporaryFolderIsSweptByTheNextRun)
{
    // A run killed outright cannot clean up: its folder (private, holding
    // the run's mark) stays until a later run finds that nobody holds it.
    std::string dead = tmp + "/yelkpack-dead01", live = tmp + "/yelkpack-live01", other = tmp + "/yelkpack-other",
                unmarked = tmp + "/yelkpack-unmarked";
    for (const std::string &f : {dead, live, unmarked})
        ASSERT_EQ(mkdir(f.c_str(), 0700), 0);
    ASSERT_EQ(mkdir(other.c_str(), 0755), 0) << "not a private folder of a run: left alone";
    for (const std::string &f : {dead, live})
        WriteFileBytes(f + "/.yelkpack-run", Bytes());
    WriteFileBytes(dead + "/yelk.tmp", Bytes(1 << 20, 7));
    WriteFileBytes(dead + "/.yelkpack-run", Bytes());   // the mark a run leaves in its folder
    WriteFileBytes(live + "/yelk.tmp", Bytes(10, 7));
    WriteFileBytes(unmarked + "/yelk.tmp", Bytes(10, 7));
    int held = open(live.c_str(), O_RDONLY | O_DIRECTORY);
    ASSERT_GE(held, 0);
    ASSERT_EQ(flock(held, LOCK_EX), 0);
    ASSERT_EQ(Extract(root + "/dest").code, 0);
    EXPECT_FALSE(Exists(dead));
    EXPECT_TRUE(Exists(live + "/yelk.tmp")) << "a run still going keeps its folder";
    EXPECT_TRUE(Exists(other));
    EXPECT_TRUE(Exists(unmarked + "/yelk.tmp")) << "a folder no run made (it has no mark) is left alone";
    close(held);

    // And one really killed.
    std::string bigCrc;
    std::string big = BigPayload(root, &bigCrc);
    ASSERT_FALSE(big.empty());
    fflush(nullptr);
    pid_t child = fork();
    if (child == 0) {
        setenv("TMPDIR", tmp.c_str(), 1);
        int null = open("/dev/null", O_WRONLY);
        dup2(null, 1);
        dup2(null, 2);
        execl(YELKPACK, YELKPACK, "extract", big.c_str(), (root + "/killed").c_str(), "--crc", bigCrc.c_str(),
              (char *)nullptr);
        _exit(98);
    }
    // Caught while it collects the first member in its folder.
    std::string folder;
    auto collecting = [&] {
        for (const std::string &name : Entries(tmp))
            if (name != "yelkpack-live01" && name != "yelkpack-unmarked" && Exists(tmp + "/" + name + "/yelk.tmp"))
                folder = name;
        return !folder.empty();
    };
    int status = 0;
    ASSERT_EQ(StopChildWhen(child, collecting, 20000, &status), Caught::kStopped) << "no run folder filled";
    status = SignalStoppedChild(child, SIGKILL);
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);
    ASSERT_TRUE(Exists(tmp + "/" + folder));
    ASSERT_EQ(Extract(root + "/dest2").code, 0);
    EXPECT_FALSE(Exists(tmp + "/" + folder));
}

/* ---- Output that cannot be written ---- */

TEST_F(Hostile, OutputThatCannotBeWrittenIsAFailure)
{
    struct Case {
        std::string args;
    } cases[] = {
        {"--help"},
        {"help extract"},
        {"--version"},
        {"list '" + payload + "'"},
        {"pack " YELK_SAMPLES_DIR " -o '" + root + "/q.bin' --crc-header '" + root + "/q.h'"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.args);
        std::string cmd = "'" YELKPACK "' " + c.args + " >/dev/full 2>'" + root + "/err'";
        int status = system(cmd.c_str());
        EXPECT_EQ(WEXITSTATUS(status), 74);
        Bytes err = ReadFileBytes(root + "/err");
        EXPECT_NE(std::string(err.begin(), err.end()).find("standard output"), std::string::npos);
    }
}

}  // namespace
